#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# The MSI under Wine, in the Wine service test's prefix: install, upgrade to a
# build of a higher version, uninstall, with the service's event source, its
# recovery and the Apps entry.
#   msi_test.sh <msi> <its verdimoor.exe> <source folder> <higher version> <build folder for it> <Wine work folder>
# Ends the prefix's wineserver, with every process of the prefix, at the end,
# pass or fail.
set -uo pipefail

msi=$1 exe=$2 source=$3 next=$4 next_build=$5 work=$6
# shellcheck source=tests/wine/common.sh
source "$(dirname "$0")/../wine/common.sh"
need_wine "$msi" "$exe" /usr/bin/wixl
use_prefix "$work/prefix"
dir="$WINEPREFIX/drive_c/Program Files/Verdimoor"
winedir='C:\Program Files\Verdimoor'
apdown_checked=no
event_source='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Verdimoor'
service_key='HKLM\SYSTEM\CurrentControlSet\Services\Verdimoor'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

field() { sed -n "$1p" "$(log_path)" | awk "{print \$$2}"; }

# The service's state as the Service Control Manager reports it: a number,
# or nothing when there is no such service.
state() { manage sc query Verdimoor | tr -d '\r' | awk '/STATE/ {print $3}'; }
msiexec() { "$wine" msiexec "$@" /qn </dev/null >/dev/null 2>&1; }

# The key of the Apps entry named Verdimoor, whose last part is the product
# code; nothing when there is none.
apps_entry() {
    "$wine" reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' |
        awk '/^HKEY/ {key = $0} /^ +DisplayName +REG_SZ +Verdimoor$/ {print key}'
}

# DWORDs as reg query shows a REG_BINARY value's bytes.
dwords() { local v; for v; do printf '%02X%02X%02X%02X' $((v & 255)) $((v >> 8 & 255)) $((v >> 16 & 255)) $((v >> 24 & 255)); done; }

# The values the package writes beside its files, as reg query shows them: the
# service's recovery (the reset period, no reboot message, no command, two
# actions at offset 20: restart after 1 minute, then 5) and the Apps entry's
# folder and size.
registry_values_are() {
    local when=$1 entry kib row key name expected shown
    entry=$(apps_entry)
    kib=$((($(cat "$dir"/{verdimoor.exe,verdimoor-report.exe,README.md,LICENSE} | wc -c) + 1023) / 1024))
    for row in \
        "$service_key|FailureActions|REG_BINARY    $(dwords 86400 0 0 2 20 1 60000 1 300000)" \
        "$entry|InstallLocation|REG_SZ    $winedir\\" \
        "$entry|Size|REG_SZ    $kib"; do
        IFS='|' read -r key name expected <<<"$row"
        shown=$("$wine" reg query "$key" /v "$name" 2>/dev/null | tr -d '\r' | sed -n "s/^    $name    //p")
        [ "$shown" = "$expected" ] && pass "$name $when" || fail "$name $when: '$shown', not '$expected'"
    done
}

# Checks the log right after a start that began at $2 (seconds since the
# epoch): the closed runs given, then the new run's start lines. Until the
# first heartbeat, 30 s after the start, these are UP, CRASH and APDOWN with
# this folder's path; after it, UP and a CRASH of the same or a later minute.
# The second form is accepted only when 30 s have passed.
started_run() {
    local what=$1 began=$2; shift 2
    local log elapsed crash n=$(($# + 1))
    log=$(log_text)
    elapsed=$(($(date +%s) - began))
    up=$(sed -n "${n}p" <<<"${log%x}" | awk '{print $2}')
    if [ "$elapsed" -lt 30 ] || grep -q 'APDOWN' <<<"${log%x}"; then
        log_is "$what" --text "$log" "$@" "$d $up UP" "$d $up CRASH" "$d 3660 $winedir\\PowerOFF.txt APDOWN"
        apdown_checked=yes
    else
        crash=$(sed -n "$((n + 1))p" <<<"${log%x}" | awk '{print $2}')
        [ "${crash:-0}" -ge "${up:-0}" ] 2>/dev/null || fail "CRASH minute $crash before UP minute $up"
        log_is "$what (after the first heartbeat, $elapsed s)" --text "$log" "$@" "$d $up UP" "$d $crash CRASH"
    fi
}

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
# The first program of the session starts the manager, which inherits its
# output: give it none, or manage()'s command substitution waits for its end.
"$wine" sc query Verdimoor >/dev/null 2>&1 </dev/null
manage sc stop Verdimoor >/dev/null
manage sc delete Verdimoor >/dev/null
msiexec /x 'C:\verdimoor-next.msi'
msiexec /x 'C:\verdimoor.msi'
rm -rf "$dir"

# Install: the service runs from Program Files and writes its start lines.
began=$(date +%s) before=$(minute) d=$(day)
msiexec /i 'C:\verdimoor.msi' && pass "msiexec /i" || fail "msiexec /i: exit code $?"
started_run "install starts the service" "$began"
after=$(minute)
[ "$up" = "$before" ] || [ "$up" = "$after" ] || fail "UP minute $up is neither $before nor $after"
[ "$(state)" = 4 ] && pass "service running" || fail "service state '$(state)'"
for file in verdimoor.exe verdimoor-report.exe README.md LICENSE; do
    [ -f "$dir/$file" ] && pass "installed $file" || fail "missing $file"
done
cmp -s "$exe" "$dir/verdimoor.exe" && pass "installed the package's verdimoor.exe" || fail "verdimoor.exe differs"
# The event source: the Application log's key for Verdimoor, naming the
# installed executable as the file of its messages.
source=$("$wine" reg query "$event_source" 2>/dev/null | tr -d '\r')
grep -qE "^ +EventMessageFile +REG_(EXPAND_)?SZ +C:\\\\Program Files\\\\Verdimoor\\\\verdimoor\.exe$" <<<"$source" &&
    grep -qE '^ +TypesSupported +REG_DWORD +0x7$' <<<"$source" && pass "event source registered" ||
    fail "event source: $source"
registry_values_are "after the install"

# Upgrade: the old run closes with DOWN, the new executable starts a new run.
began=$(date +%s)
msiexec /i 'C:\verdimoor-next.msi' && pass "msiexec /i, version $next" || fail "upgrade: exit code $?"
down=$(field 2 2) first=$up
started_run "upgrade closes the run and starts a new one" "$began" "$d $first UP" "$d $down DOWN    "
closed=("$d $first UP" "$d $down DOWN    ")
# Both starts outlasted the first heartbeat: a start by the service manager
# shows the path.
if [ "$apdown_checked" = no ]; then
    manage net stop Verdimoor >/dev/null
    down=$(tail -n 1 "$(log_path)" | awk '{print $2}')
    closed+=("$d $up UP" "$d $down DOWN    ")
    began=$(date +%s)
    manage net start Verdimoor >/dev/null
    started_run "a restart shows the path" "$began" "${closed[@]}"
    [ "$apdown_checked" = yes ] || fail "the APDOWN line was never checked"
fi
[ "$(state)" = 4 ] && pass "service running after the upgrade" || fail "service state '$(state)'"
cmp -s "$next_build/verdimoor.exe" "$dir/verdimoor.exe" && pass "verdimoor.exe replaced" || fail "verdimoor.exe not replaced"
shown=$("$wine" "$winedir\\verdimoor-report.exe" --version 2>&1 | tr -d '\r')
[ "$shown" = "verdimoor-report $next" ] && pass "verdimoor-report.exe replaced" ||
    fail "verdimoor-report.exe --version: $shown"
for file in verdimoor.exe verdimoor-report.exe; do
    shown=$(version_resource "$dir/$file")
    [ "$shown" = "$next" ] && pass "$file shows version $next in its properties" || fail "$file shows '$shown'"
done
versions=$("$wine" reg query "$uninstall_key" /s 2>/dev/null |
    tr -d '\r' | awk '/DisplayVersion/ {print $3}' | tr '\n' ' ')
[ "$versions" = "$next " ] && pass "only version $next installed" || fail "installed versions: $versions"
registry_values_are "after the upgrade"
# The older package's file no longer removes anything.
msiexec /x 'C:\verdimoor.msi' && fail "msiexec /x of the older package: exit code 0" ||
    pass "msiexec /x of the older package fails"
[ "$(state)" = 4 ] && pass "service running after it" || fail "service state '$(state)' after it"

# Uninstall: DOWN, no service, no executables; the log stays. As the README
# says for whatever version is installed: by the product code of the Apps
# entry.
code=$(apps_entry)
code=${code##*\\}
[[ "$code" =~ ^\{[0-9A-F-]{36}\}$ ]] || fail "product code '$code'"
msiexec /x "$code" && pass "msiexec /x $code" || fail "msiexec /x $code: exit code $?"
down=$(tail -n 1 "$(log_path)" | awk '{print $2}')
log_is "uninstall closes the run with DOWN" "${closed[@]}" "$d $up UP" "$d $down DOWN    "
[ -z "$(state)" ] && pass "service removed" || fail "service state '$(state)' after uninstall"
"$wine" reg query "$event_source" >/dev/null 2>&1 && fail "event source left after uninstall" ||
    pass "event source removed"
"$wine" reg query "$service_key" >/dev/null 2>&1 && fail "service key, with its recovery, left after uninstall" ||
    pass "service key, with its recovery, removed"
[ -z "$(apps_entry)" ] && pass "Apps entry removed" || fail "Apps entry $(apps_entry) left"
left=$(ls "$dir" | tr '\n' ' ')
[ "$left" = "$(basename "$(log_path)") " ] && pass "only the log is left" || fail "left: $left"

[ "$failures" = 0 ]
