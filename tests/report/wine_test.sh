#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# verdimoor-report.exe under Wine prints what the native program prints,
# apart from line ends:
#   wine_test.sh <verdimoor-report> <verdimoor-report.exe> <work folder>
# Creates a fresh Wine prefix in the work folder and ends its wineserver at
# the end, pass or fail.
set -uo pipefail

native=$1 exe=$2 work=$3
# shellcheck source=tests/wine/common.sh
source "$(dirname "$0")/../wine/common.sh"
need_wine "$native" "$exe"
use_prefix "$work/prefix"

rm -rf "$work"
mkdir -p "$work"
"$wine" wineboot -i >"$work/wineboot.log" 2>&1
"$wineserver" -w

# Two machines' logs: pairs across a month's end, a run left open, a leftover
# announcement, damaged lines and a zero-padded cut, LF alone.
data="$work/data"
mkdir -p "$data/logs" "$data/more logs"
printf '8 600 UP\r\n8 1020 DOWN    \r\n31 1000 UP\r\n1 5 CRASH\r\n' >"$data/logs/2026_5.log"
printf '2 60 UP\r\n2 90 PDOWN\r\n3 60 UP\r\n3 61 CRASH\r\n3 3660 C:\\Verdimoor\\PowerOFF.txt APDOWN\r\n4 0 UP\r\n' \
    >"$data/logs/2026_6.log"
printf '9 1 UP\n9 2 CRASH\n' >"$data/logs/2026_10.log"
printf 'Error: something\r\r\n' >"$data/logs/Err.log"
{ printf '3 6'; head -c 300 /dev/zero; printf '4 800 DOWN    \r\nhello\r\n5 600 UP\r\n5 700 DOWN    \r\n'; } \
    >"$data/more logs/2025_12.log"

# Runs the program in the data folder; its output without CRs.
report() {
    local program=$1; shift
    (cd "$data" && "$program" "$@" 2>/dev/null | tr -d '\r')
}

for options in "--json" "--json --since 2026-06-01" "--table" "--csv"; do
    # shellcheck disable=SC2086
    expected=$(report "$native" $options --now 2026-10-09T00:03 logs "more logs")
    # shellcheck disable=SC2086
    actual=$(report "$wine" "$exe" $options --now 2026-10-09T00:03 logs "more logs")
    if [ -n "$expected" ] && [ "$actual" == "$expected" ]; then pass "$options"; else
        fail "$options"; diff <(echo "$expected") <(echo "$actual"); fi
done

# The fleet from a wildcard, which cmd.exe would hand over unexpanded: the
# program expands it itself, into the rows the native program prints for the
# folders it names.
expected=$(report "$native" --fleet --csv --now 2026-10-09T00:03 logs "more logs")
actual=$(report "$wine" "$exe" --fleet --csv --now 2026-10-09T00:03 '*logs')
if [ -n "$expected" ] && [ "$actual" == "$expected" ]; then pass "--fleet --csv on a wildcard"; else
    fail "--fleet --csv on a wildcard"; diff <(echo "$expected") <(echo "$actual"); fi

# A collection one level deeper, its machines named alike on both hosts;
# standard output as -, and NUL, a device, written into without a file left.
mkdir -p "$data/share/site/pc-a" "$data/share/pc-b"
cp "$data/logs/2026_5.log" "$data/share/site/pc-a/"
printf '22 30\r\n' >"$data/share/pc-b/PowerOFF.txt"
for options in "--fleet --csv share" "--csv --output - logs"; do
    # shellcheck disable=SC2086
    expected=$(report "$native" ${options/--output -/} --now 2026-10-09T00:03)
    # shellcheck disable=SC2086
    actual=$(report "$wine" "$exe" $options --now 2026-10-09T00:03)
    if [ -n "$expected" ] && [ "$actual" == "$expected" ]; then pass "$options"; else
        fail "$options"; diff <(echo "$expected") <(echo "$actual"); fi
done
(cd "$data" && "$wine" "$exe" --openmetrics --output NUL logs >/dev/null 2>&1)
code=$?
left=$(find "$data" -mindepth 1 -maxdepth 1 ! -name logs ! -name 'more logs' ! -name share)
[ "$code" = 0 ] && [ -z "$left" ] && pass "--output NUL" || fail "--output NUL: exit code $code, left $left"

# The picture and the page, put together from temporary files, and the
# printed output, which waits for them: the native program's bytes, and
# nothing left beside them.
for program in native exe; do
    mkdir -p "$data/out-$program"
    run=("$native")
    [ "$program" = exe ] && run=("$wine" "$exe")
    (cd "$data" && "${run[@]}" --svg "out-$program/p.svg" --html "out-$program/p.html" --csv --output \
        "out-$program/runs.csv" --now 2026-10-09T00:03 logs "more logs" >/dev/null 2>&1)
done
if diff -r "$data/out-native" "$data/out-exe" && [ "$(ls -A "$data/out-exe" | wc -l)" = 3 ]; then
    pass "--svg, --html and --output files"; else fail "--svg, --html and --output files: $(ls -A "$data/out-exe")"; fi
rm -rf "$data/out-native" "$data/out-exe"

# Warnings, and an error's exit code.
expected=$(cd "$data" && "$native" "more logs" 2>&1 >/dev/null)
actual=$(cd "$data" && "$wine" "$exe" "more logs" 2>&1 >/dev/null | tr -d '\r')
[ "$actual" == "${expected//\//\\}" ] && pass "warnings" || fail "warnings: $actual"
(cd "$data" && "$wine" "$exe" missing >/dev/null 2>&1)
code=$?
[ "$code" = 2 ] && pass "missing folder: exit code 2" || fail "missing folder: exit code $code"

# With no folder given, it reads its own: a Windows path, escaped in JSON.
dir="$WINEPREFIX/drive_c/Verdimoor"
mkdir -p "$dir"
cp "$exe" "$dir/verdimoor-report.exe"
cp "$data/logs/"*.log "$dir/"
folder=$("$wine" 'C:\Verdimoor\verdimoor-report.exe' --json | grep '"folder"' | tr -d '\r')
[ "$folder" == '      "folder": "C:\\Verdimoor",' ] && pass "its own folder" || fail "its own folder: $folder"

[ "$failures" = 0 ]
