#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# verdimoor.exe end to end under Wine's Service Control Manager, with the
# events it reports as Wine traces them:
#   service_test.sh <verdimoor.exe> <scm-client.exe> <work folder> [<verdimoor-report>]
# Creates a fresh Wine prefix in the work folder and ends its wineserver, with
# every process of the prefix, at the end, pass or fail.
set -uo pipefail

exe=$1 client=$2 work=$3 report=${4-}
# shellcheck source=tests/wine/common.sh
source "$(dirname "$0")/common.sh"
need_wine "$exe" "$client"
use_prefix "$work/prefix"
dir="$WINEPREFIX/drive_c/Verdimoor"
winedir='C:\Verdimoor'

client() { "$wine" 'C:\scm-client.exe' "$@" 2>&1 | tr -d '\r'; }

# The process id of the running service, found by its executable in this
# prefix alone.
service_pid() {
    local pid
    for pid in $(pgrep -f 'C:\\Verdimoor\\verdimoor.exe'); do
        if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            echo "$pid"
            return
        fi
    done
}

ended() { [ ! -e "/proc/$1" ] || [ "$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" = Z ]; }

# Fresh prefix; the persistent wineserver starts only after the first one ended.
rm -rf "$work"
mkdir -p "$work"
"$wine" wineboot -i >"$work/wineboot.log" 2>&1
"$wineserver" -w
"$wineserver" -p
mkdir -p "$dir"
cp "$exe" "$dir/verdimoor.exe"
cp "$client" "$WINEPREFIX/drive_c/scm-client.exe"
# The first program of the session starts the manager and its own services,
# which inherit its output and its debug channels: Wine's trace of what the
# event log receives goes to a file (given a pipe, a command substitution
# later would wait for their end). Then let their start-up settle.
WINEDEBUG=-all,+eventlog,fixme+advapi "$wine" 'C:\scm-client.exe' query >/dev/null 2>"$work/services.log" </dev/null
sleep 3

# The events the service reported, one a line: type, ID and text, as Wine
# traces each ReportEventW call, its arguments and then its strings, with its
# escapes undone: \\, \", and \ with four hexadecimal digits for a unit that
# is not printable ASCII.
events() {
    local line type='' id='' text
    while IFS= read -r line; do
        case $line in
        *:fixme:advapi:ReportEventW\ *) IFS=, read -r _ type _ id _ <<<"$line" ;;
        *:eventlog:ReportEventW\ L\"*)
            text=${line#*ReportEventW L\"}
            echo "$type $id ${text%\"}"
            ;;
        esac
    done <"$work/services.log" | perl -CO -pe 's/\\([\\"]|[0-9a-f]{4})/length $1 == 1 ? $1 : chr hex $1/ge'
}
# Checks that an event of type (0x0004 information, 0x0002 warning, 0x0001
# error) and ID was reported with the text given, or a text that begins so
# with --begins.
event_is() {
    local what=$1 type=$2 id=$3 text=$4 all
    all=$(events)
    if grep -qxF "$type $id $text" <<<"$all" || { [ "${5-}" = --begins ] && [[ $'\n'$all == *$'\n'"$type $id $text"* ]]; }; then
        pass "$what"
    else
        fail "$what: no event '$type $id $text' among"
        echo "$all"
    fi
}

manage sc create Verdimoor binPath= "$winedir\\verdimoor.exe" >/dev/null

# Start: UP, CRASH and APDOWN with the Windows path of PowerOFF.txt.
start_minute() {
    local before after
    before=$(minute)
    manage net start Verdimoor >/dev/null
    after=$(minute)
    up_day=$(day)
    up=$(head -c 64 <(tail -n 3 "$(log_path)") | awk 'NR==1 {print $2}')
    [ "$up" = "$before" ] || [ "$up" = "$after" ] || fail "UP minute $up is neither $before nor $after"
}
start_minute
log_is "start writes UP, CRASH and APDOWN" "$up_day $up UP" "$up_day $up CRASH" "$up_day 3660 $winedir\\PowerOFF.txt APDOWN"
event_is "start event, without a schedule" 0x0004 0x00000001 "no scheduled power-off (no $winedir\\PowerOFF.txt)"
pid=$(service_pid)
[ -n "$pid" ] && pass "service process $pid" || fail "no service process"

running="state 4 accepted 5 exit 0 specific 0 checkpoint 0 hint 0"
[ "$(client 4)" = "$running" ] && pass "interrogate: running, stop and shutdown accepted" || fail "interrogate: $(client 4)"
before=$(cat "$(log_path)")
[ "$(client 128)" = "$running" ] && [ "$(cat "$(log_path)")" = "$before" ] &&
    pass "user control: same record, log unchanged" || fail "user control: $(client 128)"
[[ "$(client 2)" == refused* ]] && pass "pause refused" || fail "pause: $(client 2)"

# The first heartbeat drops APDOWN and carries the current minute.
sleep 33
now=$(minute)
crash=$(tail -n 1 "$(log_path)" | awk '{print $2}')
[ "$crash" = "$now" ] || [ "$crash" = $((now - 1)) ] || fail "heartbeat minute $crash, now $now"
log_is "first heartbeat" "$up_day $up UP" "$up_day $crash CRASH"

# Stop: DOWN with four spaces, stopped with exit code 0, process ended.
manage net stop Verdimoor >/dev/null
down=$(tail -n 1 "$(log_path)" | awk '{print $2}')
log_is "stop writes DOWN" "$up_day $up UP" "$up_day $down DOWN    "
stopped="state 1 accepted 1 exit 0 specific 0 checkpoint 0 hint 0"
[ "$(client query)" = "$stopped" ] && pass "reported stopped, exit code 0" || fail "after stop: $(client query)"
for _ in 1 2 3 4 5 6 7 8 9 10; do ended "$pid" && break; sleep 0.5; done
ended "$pid" && pass "service process ended" || fail "service process $pid still runs"
first_run=("$up_day $up UP" "$up_day $down DOWN    ")

# A second start appends after the DOWN line; a PowerOFF.txt naming the next
# minute turns the closing line into PDOWN within that minute, and the
# service goes on answering controls.
next=$(( ($(minute) + 1) % 1440 ))
printf '%d %d now\r\n' $((next / 60)) $((next % 60)) >"$dir/PowerOFF.txt"
start_minute
log_is "second start appends" "${first_run[@]}" "$up_day $up UP" "$up_day $up CRASH" \
    "$up_day $next $winedir\\PowerOFF.txt APDOWN"
at=$(printf '%02d:%02d' $((next / 60)) $((next % 60)))
event_is "start event, with the schedule" 0x0004 0x00000001 "power-off daily at $at ($winedir\\PowerOFF.txt)"
event_is "warning of a word after the time" 0x0002 0x00000002 "$winedir\\PowerOFF.txt has \"now\" after the time, read as $at"
for _ in $(seq 1 140); do
    tail -n 1 "$(log_path)" | grep -qE '^[0-9]+ [0-9]+ PDOWN' && break
    sleep 1
done
pdown_minute=$(minute)
log_is "PDOWN in the scheduled minute" "${first_run[@]}" "$up_day $up UP" "$up_day $next PDOWN"
[ "$pdown_minute" = "$next" ] || fail "PDOWN seen at minute $pdown_minute, scheduled $next"
[ "$(client 4)" = "$running" ] && pass "still running after the power-off request" || fail "after PDOWN: $(client 4)"
manage net stop Verdimoor >/dev/null
down=$(tail -n 1 "$(log_path)" | awk '{print $2}')
log_is "stop after PDOWN writes DOWN" "${first_run[@]}" "$up_day $up UP" "$up_day $down DOWN    "
runs=("${first_run[@]}" "$up_day $up UP" "$up_day $down DOWN    ")
# The report finds that DOWN on schedule, from the PowerOFF.txt beside it.
if [ -n "$report" ]; then
    ended=$("$report" --csv "$dir" | tail -n 1 | cut -d, -f5)
    [ "$ended" = pdown ] && pass "the report counts the DOWN over PDOWN as the power-off" || fail "report: $ended"
fi
[ ! -e "$dir/Err.log" ] && pass "no Err.log" || fail "Err.log: $(cat "$dir/Err.log")"

# A log that cannot be written: a folder in its place at start, the log back
# before the first heartbeat. The failure is reported once, with the system's
# text, and the first write that works after it once too: the heartbeat's,
# which writes the run's UP line with the start's minute.
log=$(log_path) winelog="$winedir\\$(basename "$(log_path)")"
mv "$log" "$work/log.saved"
mkdir "$log"
before=$(minute)
manage net start Verdimoor >/dev/null
after=$(minute) up_day=$(day)
event_is "error event for a log that cannot be written" 0x0001 0x00000003 "cannot write $winelog: " --begins
rmdir "$log"
mv "$work/log.saved" "$log"
for _ in $(seq 1 40); do
    grep -q 'CRASH' <(tail -n 1 "$log") && break
    sleep 1
done
event_is "information event when the log can be written again" 0x0004 0x00000004 "can write $winelog again"
manage net stop Verdimoor >/dev/null
up=$(tail -n 2 "$log" | head -n 1 | awk '{print $2}') down=$(tail -n 1 "$log" | awk '{print $2}')
[ "$up" = "$before" ] || [ "$up" = "$after" ] || fail "UP minute $up is neither $before nor $after"
log_is "the heartbeat writes the run's UP line" "${runs[@]}" "$up_day $up UP" "$up_day $down DOWN    "
[ "$(events | grep -c ' 0x00000003 ')" = 1 ] && pass "the failure reported once" || fail "failures: $(events)"

# A folder outside the ANSI code page, 1252 here: the service registered
# there writes its log, whose APDOWN line shows the path in the code page, Ü
# as its byte and each of 日 and 本 as one '?'. The events carry the path
# itself, and PowerOFF.txt's full-width digits each as one '?'.
manage sc delete Verdimoor >/dev/null
dir="$WINEPREFIX/drive_c/Überwachung 日本/Verdimoor"
winedir='C:\Überwachung 日本\Verdimoor'
mkdir -p "$dir"
cp "$exe" "$dir/verdimoor.exe"
printf '24 ２２:３０\r\n' >"$dir/PowerOFF.txt"
manage sc create Verdimoor binPath= "\"$winedir\\verdimoor.exe\"" >/dev/null
shown=$'C:\\\xdcberwachung ??\\Verdimoor\\PowerOFF.txt'
start_minute
log_is "start in a folder outside the code page" "$up_day $up UP" "$up_day $up CRASH" "$up_day 1440 $shown APDOWN"
event_is "start event with the folder's own name" 0x0004 0x00000001 \
    "no scheduled power-off: $winedir\\PowerOFF.txt reads as 24:00"
event_is "full-width digits each one '?'" 0x0002 0x00000002 \
    "$winedir\\PowerOFF.txt has \"??:??\" after the time, read as 24:00"
sleep 33
crash=$(tail -n 1 "$(log_path)" | awk '{print $2}')
log_is "heartbeat in a folder outside the code page" "$up_day $up UP" "$up_day $crash CRASH"
manage net stop Verdimoor >/dev/null
down=$(tail -n 1 "$(log_path)" | awk '{print $2}')
log_is "stop in a folder outside the code page" "$up_day $up UP" "$up_day $down DOWN    "
[ "$(ls "$dir")" = "$(printf '%s\n' "$(basename "$(log_path)")" PowerOFF.txt verdimoor.exe | sort)" ] &&
    pass "no Err.log, no other file" || fail "files: $(ls "$dir")"

# Started by hand: exit code 1 at once, and no file. This comes last, in a
# folder of its own: while the session is young the manager is still starting
# its own services, and a dispatcher that calls in then is taken for one of
# them.
hand="$WINEPREFIX/drive_c/Hand"
mkdir -p "$hand"
cp "$exe" "$hand/verdimoor.exe"
"$wine" 'C:\Hand\verdimoor.exe' --any argument >/dev/null 2>&1
code=$?
files=$(ls "$hand")
[ "$code" = 1 ] && [ "$files" = verdimoor.exe ] && pass "started by hand: exit code 1, no file" ||
    fail "started by hand: exit code $code, files: $files"

[ "$failures" = 0 ]
