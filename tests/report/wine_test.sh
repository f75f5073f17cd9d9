#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# verdimoor-report.exe under Wine prints what the native program prints, the
# text, the table and CSV with CR LF, wherever they go, JSON and the metrics
# byte for byte; and it takes arguments, paths and a console as Windows has
# them:
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

# Runs the program in the data folder; its output whole, followed by an x
# that keeps its last line end.
report() {
    local program=$1; shift
    (cd "$data" && "$program" "$@" 2>/dev/null; printf x)
}
# The text given with each line ended as Windows ends a text file's.
crlf() { printf '%s' "${1//$'\n'/$'\r\n'}"; }
# Compares the output with the one expected, both as report gives them.
same() {
    local what=$1 expected=$2 actual=$3
    if [ "$expected" != x ] && [ "$actual" == "$expected" ]; then pass "$what"; else
        fail "$what"; diff <(echo "$expected" | od -c) <(echo "$actual" | od -c) | head -20; fi
}

for options in "--json" "--json --since 2026-06-01" "--openmetrics" "--table" "--csv" "--fleet"; do
    # shellcheck disable=SC2086
    expected=$(report "$native" $options --now 2026-10-09T00:03 logs "more logs")
    [[ $options == --json* || $options == --openmetrics ]] || expected=$(crlf "$expected")
    # shellcheck disable=SC2086
    same "$options" "$expected" "$(report "$wine" "$exe" $options --now 2026-10-09T00:03 logs "more logs")"
done

# The fleet from a wildcard, which cmd.exe would hand over unexpanded: the
# program expands it itself, into the rows the native program prints for the
# folders it names.
expected=$(crlf "$(report "$native" --fleet --csv --now 2026-10-09T00:03 logs "more logs")")
same "--fleet --csv on a wildcard" "$expected" "$(report "$wine" "$exe" --fleet --csv --now 2026-10-09T00:03 '*logs')"

# A collection one level deeper, its machines named alike on both hosts;
# standard output as -, and NUL, a device, written into without a file left.
mkdir -p "$data/share/site/pc-a" "$data/share/pc-b"
cp "$data/logs/2026_5.log" "$data/share/site/pc-a/"
printf '22 30\r\n' >"$data/share/pc-b/PowerOFF.txt"
for options in "--fleet --csv share" "--csv --output - logs"; do
    # shellcheck disable=SC2086
    expected=$(crlf "$(report "$native" ${options/--output -/} --now 2026-10-09T00:03)")
    # shellcheck disable=SC2086
    same "$options" "$expected" "$(report "$wine" "$exe" $options --now 2026-10-09T00:03)"
done
# Wildcards in every part, whatever the case of the letters.
expected=$(crlf "$(report "$native" --fleet --csv --now 2026-10-09T00:03 share/site/pc-a)")
same "wildcards in every part" "$expected" \
    "$(report "$wine" "$exe" --fleet --csv --now 2026-10-09T00:03 'SHA*\S?TE\PC-*')"
(cd "$data" && "$wine" "$exe" --openmetrics --output NUL logs >/dev/null 2>&1)
code=$?
left=$(find "$data" -mindepth 1 -maxdepth 1 ! -name logs ! -name 'more logs' ! -name share)
[ "$code" = 0 ] && [ -z "$left" ] && pass "--output NUL" || fail "--output NUL: exit code $code, left $left"

# The picture and the page, put together from temporary files, and the
# printed output, which waits for them: the native program's bytes, the CSV
# with CR LF as on standard output, and nothing left beside them; and the
# metrics, with LF as on standard output.
for program in native exe; do
    mkdir -p "$data/out-$program"
    run=("$native")
    [ "$program" = exe ] && run=("$wine" "$exe")
    (cd "$data" && "${run[@]}" --svg "out-$program/p.svg" --html "out-$program/p.html" --csv --output \
        "out-$program/runs.csv" --now 2026-10-09T00:03 logs "more logs" >/dev/null 2>&1)
    (cd "$data" && "${run[@]}" --openmetrics --output "out-$program/verdimoor.prom" --now 2026-10-09T00:03 logs \
        >/dev/null 2>&1)
done
expected=$(crlf "$(cat "$data/out-native/runs.csv"; printf x)")
if diff -r -x runs.csv "$data/out-native" "$data/out-exe" && [ "$(ls -A "$data/out-exe" | wc -l)" = 4 ] &&
    [ "$(cat "$data/out-exe/runs.csv"; printf x)" == "$expected" ] &&
    [ "$(report "$wine" "$exe" --csv --now 2026-10-09T00:03 logs "more logs")" == "$expected" ] &&
    [ "$(report "$wine" "$exe" --openmetrics --now 2026-10-09T00:03 logs)" == "$(cat "$data/out-exe/verdimoor.prom"; printf x)" ]
then
    pass "--svg, --html and --output files, ended as standard output is"; else
    fail "--svg, --html and --output files: $(ls -A "$data/out-exe")"; fi
rm -rf "$data/out-native" "$data/out-exe"

# Warnings, and an error's exit code.
expected=$(cd "$data" && "$native" "more logs" 2>&1 >/dev/null)
actual=$(cd "$data" && "$wine" "$exe" "more logs" 2>&1 >/dev/null | tr -d '\r')
[ "$actual" == "${expected//\//\\}" ] && pass "warnings" || fail "warnings: $actual"
(cd "$data" && "$wine" "$exe" missing >/dev/null 2>&1)
code=$?
[ "$code" = 2 ] && pass "missing folder: exit code 2" || fail "missing folder: exit code $code"
# One vocabulary, the system's, for a folder and for an output.
actual=$(cd "$data" && { "$wine" "$exe" 'missing\sub'; "$wine" "$exe" --output 'missing\x.csv' logs; } 2>&1 >/dev/null |
    tr -d '\r')
expected="verdimoor-report: error: 'missing\\sub': Path not found
verdimoor-report: error: 'missing\\x.csv': cannot create a temporary file in missing: Path not found"
[ "$actual" == "$expected" ] && pass "the system's messages" || fail "the system's messages: $actual"

# An argument that starts with / is a folder, not an option; /? alone asks
# for the help. Wine takes /fleet for the Linux /fleet, where Windows takes it
# for C:\fleet: either way the folder is missing, and --fleet is not run.
actual=$(cd "$data" && "$wine" "$exe" /fleet --now 2026-10-09T00:03 2>&1 >/dev/null | tr -d '\r')
[ "$actual" == "verdimoor-report: error: '/fleet': File not found" ] && pass "/fleet is a folder" ||
    fail "/fleet is a folder: $actual"
help=$("$wine" "$exe" '/?')
code=$?
[ "$code" = 0 ] && [[ $help == *"Usage: verdimoor-report"* ]] && pass "/?" || fail "/?: exit code $code, $help"
"$wine" "$exe" /h >/dev/null 2>&1
code=$?
[ "$code" = 2 ] && pass "/h is a folder" || fail "/h: exit code $code"

# Folders and outputs of 270 characters, beyond the 260 Windows takes
# without \\?\ or long paths allowed.
part=$(printf 'p%.0s' {1..88})
deep="$WINEPREFIX/drive_c/$part/$part/${part}q"
mkdir -p "$deep"
cp "$data/logs/2026_5.log" "$deep/"
long="C:\\$part\\$part\\${part}q"
expected=$(crlf "$(report "$native" --csv --now 2026-10-09T00:03 "$deep")")
expected=${expected//"$deep"/"$long"}
same "a folder of ${#long} characters" "$expected" "$(report "$wine" "$exe" --csv --now 2026-10-09T00:03 "$long")"
(cd "$data" && "$wine" "$exe" --csv --output "$long\\runs.csv" --now 2026-10-09T00:03 "$long" >/dev/null 2>&1)
[ "$(cat "$deep/runs.csv"; printf x)" == "$expected" ] && pass "an output of $((${#long} + 9)) characters" ||
    fail "an output of $((${#long} + 9)) characters: $(ls -A "$deep")"

# cmd's quoting: "C:\logs\office\" passes the quote on, and the arguments
# after it, in the folder's name.
mkdir -p "$WINEPREFIX/drive_c/logs/office"
cp "$exe" "$WINEPREFIX/drive_c/verdimoor-report.exe"
printf '@C:\\verdimoor-report.exe "C:\\logs\\office\\" --now 2026-11-30T15:00\r\n' >"$WINEPREFIX/drive_c/quoted.bat"
actual=$("$wine" cmd /c 'C:\quoted.bat' 2>&1 >/dev/null | tr -d '\r')
expected="verdimoor-report: error: 'C:\\logs\\office\" --now 2026-11-30T15:00': Invalid name; a backslash before a \
closing quote escapes it: write \"C:\\logs\\office\" or \"C:\\logs\\office\\\\\""
[ "$actual" == "$expected" ] && pass "a folder that ends in a quote" || fail "a folder that ends in a quote: $actual"

# In a console (Wine's, on a terminal of script's) a folder's name shows as
# it is, and in a pipe it is UTF-8.
mkdir -p "$data/café"
cp "$data/logs/2026_5.log" "$data/café/"
shown=$(cd "$data" && script -qec "'$wine' '$exe' --now 2026-10-09T00:03 café" /dev/null </dev/null |
    sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' | tr -d '\r' | head -1)
piped=$(cd "$data" && "$wine" "$exe" --now 2026-10-09T00:03 café | head -1)
[ "$shown" == café ] && [ "$piped" == $'café\r' ] && pass "a console's names" ||
    fail "a console's names: $shown, $piped"

# With no folder given, it reads its own: a Windows path, escaped in JSON.
dir="$WINEPREFIX/drive_c/Verdimoor"
mkdir -p "$dir"
cp "$exe" "$dir/verdimoor-report.exe"
cp "$data/logs/"*.log "$dir/"
folder=$("$wine" 'C:\Verdimoor\verdimoor-report.exe' --json | grep '"folder"' | tr -d '\r')
[ "$folder" == '      "folder": "C:\\Verdimoor",' ] && pass "its own folder" || fail "its own folder: $folder"

[ "$failures" = 0 ]
