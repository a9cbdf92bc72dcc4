#!/usr/bin/env bash
# Fuzzes the writer for N seconds, keeping some of its files, then opens every kept file
# with python3-xlrd: each must read without error.
set -euo pipefail
trap 'echo "run_xls.sh failed at line $LINENO" >&2' ERR
fuzzer=$1
seconds=${2:-30}
out=$(mktemp -d /tmp/vdx-fuzz-xls.XXXXXX)
trap 'rm -rf "$out"' EXIT
VDX_FUZZ_OUT="$out" VDX_FUZZ_KEEP=${VDX_FUZZ_KEEP:-25} "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 2>"$out/log" ||
  { tail -n 40 "$out/log"; exit 1; }
grep -E "^(#[0-9]+|Done)" "$out/log" | tail -n 1
/usr/bin/python3 - "$out" <<'PY'
import glob, sys, xlrd
files = sorted(glob.glob(sys.argv[1] + "/*.xls"))
if not files:
    sys.exit("no file was kept")
for f in files:
    book = xlrd.open_workbook(f)
    sheet = book.sheet_by_index(0)
    for r in range(sheet.nrows):
        sheet.row_values(r)
print(f"xlrd read {len(files)} files")
PY
