#!/bin/bash
# The MSI under Wine, in the Wine service test's prefix: install, upgrade to a
# build of a higher version, uninstall.
#   msi_test.sh <msi> <its verdimoor.exe> <source folder> <higher version> <build folder for it> <Wine work folder>
# Ends the prefix's wineserver, with every process of the prefix, at the end,
# pass or fail.
set -uo pipefail

msi=$1 exe=$2 source=$3 next=$4 next_build=$5 work=$6
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
for needed in "$wine" "$wineserver" "$msi" "$exe" /usr/bin/wixl; do
    [ -e "$needed" ] || { echo "missing prerequisite: $needed"; exit 1; }
done
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
unset DISPLAY
dir="$WINEPREFIX/drive_c/Program Files/Verdimoor"
winedir='C:\Program Files\Verdimoor'
failures=0

end_wine() { "$wineserver" -k 2>/dev/null; }
trap end_wine EXIT

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

day() { date +%-d; }
minute() { echo $((10#$(date +%H) * 60 + 10#$(date +%M))); }
log_path() { echo "$dir/$(date +%Y)_$(date +%-m).log"; }
field() { sed -n "$1p" "$(log_path)" | awk "{print \$$2}"; }

# Compares the month's log with the lines given, each ended by CR LF here.
log_is() {
    local what=$1; shift
    local expected actual
    expected=$(printf '%s\r\n' "$@"; printf x)
    actual=$(cat "$(log_path)" 2>/dev/null; printf x)
    if [ "$actual" == "$expected" ]; then pass "$what"; else
        fail "$what"; printf 'expected:\n%s\nactual:\n%s\n' "${expected%x}" "${actual%x}" | cat -A; fi
}

# The service's state as the Service Control Manager reports it: a number,
# or nothing when there is no such service.
state() { "$wine" sc query Verdimoor 2>/dev/null | tr -d '\r' | awk '/STATE/ {print $3}'; }
msiexec() { "$wine" msiexec "$@" /qn </dev/null >/dev/null 2>&1; }

# The build of the higher version: the same sources, another version number.
if cmake --preset windows -S "$source" -B "$next_build" -DVERDIMOOR_VERSION="$next" -DVERDIMOOR_PACKAGE_DIR="$next_build" >"$work-next.log" 2>&1 &&
    cmake --build "$next_build" --target msi -j2 >>"$work-next.log" 2>&1; then pass "build of version $next"; else
    cat "$work-next.log"; fail "build of version $next"; exit 1; fi
next_msi=$next_build/verdimoor-$next-x64.msi

# The prefix the Wine test left, or a new one when this test runs alone; the
# service it registered by hand, and anything a former run of this test
# installed, are removed first.
mkdir -p "$work"
if [ ! -d "$WINEPREFIX" ]; then
    "$wine" wineboot -i >"$work/wineboot.log" 2>&1
    "$wineserver" -w
fi
"$wineserver" -p
cp "$msi" "$WINEPREFIX/drive_c/verdimoor.msi"
cp "$next_msi" "$WINEPREFIX/drive_c/verdimoor-next.msi"
"$wine" sc stop Verdimoor >/dev/null 2>&1
"$wine" sc delete Verdimoor >/dev/null 2>&1
msiexec /x 'C:\verdimoor-next.msi'
msiexec /x 'C:\verdimoor.msi'
rm -rf "$dir"

# Install: the service runs from Program Files and writes its start lines.
before=$(minute)
msiexec /i 'C:\verdimoor.msi' && pass "msiexec /i" || fail "msiexec /i: exit code $?"
after=$(minute)
d=$(day) up=$(field 1 2)
[ "$up" = "$before" ] || [ "$up" = "$after" ] || fail "UP minute $up is neither $before nor $after"
log_is "install starts the service" "$d $up UP" "$d $up CRASH" "$d 3660 $winedir\\PowerOFF.txt APDOWN"
[ "$(state)" = 4 ] && pass "service running" || fail "service state '$(state)'"
for file in verdimoor.exe verdimoor-report.exe README.md; do
    [ -f "$dir/$file" ] && pass "installed $file" || fail "missing $file"
done
cmp -s "$exe" "$dir/verdimoor.exe" && pass "installed the package's verdimoor.exe" || fail "verdimoor.exe differs"

# Upgrade: the old run closes with DOWN, the new executable starts a new run.
msiexec /i 'C:\verdimoor-next.msi' && pass "msiexec /i, version $next" || fail "upgrade: exit code $?"
down=$(field 2 2) up2=$(field 3 2)
log_is "upgrade closes the run and starts a new one" "$d $up UP" "$d $down DOWN    " \
    "$d $up2 UP" "$d $up2 CRASH" "$d 3660 $winedir\\PowerOFF.txt APDOWN"
[ "$(state)" = 4 ] && pass "service running after the upgrade" || fail "service state '$(state)'"
cmp -s "$next_build/verdimoor.exe" "$dir/verdimoor.exe" && pass "verdimoor.exe replaced" || fail "verdimoor.exe not replaced"
shown=$("$wine" "$winedir\\verdimoor-report.exe" --version 2>&1 | tr -d '\r')
[ "$shown" = "$next" ] && pass "verdimoor-report.exe replaced" || fail "verdimoor-report.exe --version: $shown"
for file in verdimoor.exe verdimoor-report.exe; do
    shown=$(strings -el "$dir/$file" | grep -A1 -x -e FileVersion -e ProductVersion | grep -v -e Version -e -- | sort -u)
    [ "$shown" = "$next" ] && pass "$file shows version $next in its properties" || fail "$file shows '$shown'"
done
versions=$("$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | awk '/DisplayVersion/ {print $3}' | tr '\n' ' ')
[ "$versions" = "$next " ] && pass "only version $next installed" || fail "installed versions: $versions"

# Uninstall: DOWN, no service, no executables; the log stays.
msiexec /x 'C:\verdimoor-next.msi' && pass "msiexec /x" || fail "msiexec /x: exit code $?"
down2=$(field 4 2)
log_is "uninstall closes the run with DOWN" "$d $up UP" "$d $down DOWN    " "$d $up2 UP" "$d $down2 DOWN    "
[ -z "$(state)" ] && pass "service removed" || fail "service state '$(state)' after uninstall"
left=$(ls "$dir" | tr '\n' ' ')
[ "$left" = "$(basename "$(log_path)") " ] && pass "only the log is left" || fail "left: $left"

[ "$failures" = 0 ]
