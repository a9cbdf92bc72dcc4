#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
set -euo pipefail
pkgs=(build-essential cmake pkg-config qt6-base-dev libsqlite3-dev sqlite3 libgtest-dev libgmock-dev
      xvfb xauth xdotool xclip x11-utils imagemagick python3-xlrd python3-openpyxl clang libclang-rt-14-dev
      fonts-dejavu-core fonts-liberation2 libxlsxwriter-dev qt6-translations-l10n libreoffice-calc-nogui
      locales lintian desktop-file-utils appstream dpkg-dev file)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
