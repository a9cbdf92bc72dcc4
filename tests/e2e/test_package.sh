#!/usr/bin/env bash
# The Debian package: built by scripts/package.sh, lintian reports no error or warning, it
# holds the program, menu entry, icons, AppStream data, manual page and Debian documents,
# those validate, and the program unpacked from it starts on a demo folder.
source "$(dirname "$0")/lib.sh"
root=$(cd "$here/../.." && pwd)
deb=$(bash "$root/scripts/package.sh" "$(dirname "$EXE")/package" 2>"$work/build.log") ||
  { tail -30 "$work/build.log"; fail "package.sh failed"; }
[ "$(basename "$deb")" = "vandrix-discover_1.0.0.9_$(dpkg --print-architecture).deb" ] || fail "package name: $deb"

lintian --tag-display-limit 0 "$deb" >"$work/lintian" 2>/dev/null || true
cat "$work/lintian"
! grep -E '^[EW]: ' "$work/lintian" >/dev/null || fail "lintian reports errors or warnings"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"
for f in /usr/bin/vandrix-discover /usr/share/applications/vandrix-discover.desktop \
         /usr/share/metainfo/org.vandrix.discover.metainfo.xml \
         /usr/share/icons/hicolor/scalable/apps/vandrix-discover.svg \
         /usr/share/man/man1/vandrix-discover.1.gz \
         /usr/share/doc/vandrix-discover/copyright /usr/share/doc/vandrix-discover/changelog.gz; do
  grep -qx "$f" "$work/files" || fail "the package lacks $f"
done
for s in 16 22 24 32 48 64 128 256; do
  grep -qx "/usr/share/icons/hicolor/${s}x${s}/apps/vandrix-discover.png" "$work/files" || fail "no ${s}x${s} icon"
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libsqlite3-0; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
[ "$(dpkg-deb -f "$deb" Recommends)" = qt6-translations-l10n ] || fail "Recommends: $(dpkg-deb -f "$deb" Recommends)"

rootfs="$work/root"
dpkg-deb -x "$deb" "$rootfs"
desktop-file-validate "$rootfs/usr/share/applications/vandrix-discover.desktop" || fail "desktop entry"
grep -qx 'Exec=vandrix-discover --choose-folder' "$rootfs/usr/share/applications/vandrix-discover.desktop" ||
  fail "the menu entry does not choose the folder"
appstreamcli validate --no-net "$rootfs/usr/share/metainfo/org.vandrix.discover.metainfo.xml" || fail "metainfo"
warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l \
           "$rootfs/usr/share/man/man1/vandrix-discover.1.gz" 2>&1 >"$work/man.txt")
[ -z "$warnings" ] || fail "manual page: $warnings"
for section in SYNOPSIS OPTIONS FILES "EXIT STATUS" --choose-folder Settings/Vandrix.sqlite; do
  grep -q -- "$section" "$work/man.txt" || fail "the manual page lacks $section"
done
exe="$rootfs/usr/bin/vandrix-discover"
! ldd "$exe" | grep -q libasan || fail "the packaged program is a sanitizer build"
[ "$("$exe" -platform offscreen --version 2>/dev/null)" = "Vandrix discover 1.0.0.9" ] || fail "--version"

start_xvfb
make_client "$work/client" 500 11
mkdir "$work/elsewhere"
cd "$work/elsewhere"
session_on_folder "$exe" "$work/client"
echo "PASS"
