#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# The real-machine test's driver inside the Debian guest: one step per boot,
# named on the first line of the step file beside it, reported on the serial
# console as "vm: ok: ..." and "vm: FAIL: ...". Each step ends with the
# guest's power-off or a reset with no sync, which ends qemu.
set -u
here=$(dirname "$0")
dir=/opt/verdimoor
read -r step argument <"$here/step"
# The run before the one this boot started, as the host expects it: how it
# ended, and the earliest and latest end, as YYYY-MM-DDTHH:MM.
read -r previous earliest latest < <(sed -n 2p "$here/step")

say() { echo "vm: $*"; }
pass() { say "ok: $*"; }
fail() { say "FAIL: $*"; }
check() {
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; return 1; fi
}
# True once the command succeeds, trying each second for the seconds given.
within() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 1
    done
}
log_path() { echo "$dir/$(date +%Y_%-m).log"; }
log() { cat "$(log_path)"; }
heartbeat_seen() { ! log | grep -q APDOWN; }
active() { systemctl is-active --quiet verdimoor.service; }
# The log's last lines, each given as a regular expression without its CR LF.
log_ends_with() {
    local count=$# line
    mapfile -t lines < <(log | tail -n "$count")
    [ "${#lines[@]}" = "$count" ] || return 1
    for line in "${lines[@]}"; do
        [[ $line =~ ^$1$'\r'$ ]] || { say "log: $(log | tail -n "$count" | tr '\r\n' '|')"; return 1; }
        shift
    done
}
runs() { verdimoor-report --json "$dir" | jq -c '.machines[0].runs'; }
# The jq condition, true of the report's runs.
runs_are() {
    runs | jq -e "$1" >/dev/null || { say "runs: $(runs | jq -c '[.[] | [.start, .end, .ended]]')"; return 1; }
}
installed() {
    dpkg -i "$here/$1" >/run/dpkg.log 2>&1 || { cat /run/dpkg.log; return 1; }
}
power_off() {
    say "poweroff at $(date +%s)"
    systemctl poweroff
    exit
}

record='[0-9]+ [0-9]+'
say "step $step $argument, $(systemctl is-system-running --wait)"
systemctl --failed --no-legend --plain | while read -r unit _; do say "failed unit: $unit"; done
if [ -n "$previous" ]; then
    check "the report reads the run before this boot: $previous, ended $earliest to $latest" runs_are \
        ".[-1].ended == \"running\" and .[-2].ended == \"$previous\" and
         .[-2].end >= \"$earliest\" and .[-2].end <= \"$latest\""
fi

case $step in
install)
    check "dpkg -i" installed first.deb
    check "the service is active" active
    check "start lines" log_ends_with "$record UP" "$record CRASH" "[0-9]+ 3660 $dir/PowerOFF.txt APDOWN"
    check "first heartbeat" within 45 heartbeat_seen
    check "UP and the heartbeat's CRASH" log_ends_with "$record UP" "$record CRASH"
    check "the report: one run, running" runs_are 'length == 1 and .[0].ended == "running"'
    power_off
    ;;
schedule)
    # The next minute: the heartbeats of a restart now fall in it, whatever
    # the second.
    at=$((($(date +%s) / 60 + 1) * 60))
    hour=$(date -u -d "@$at" +%-H) minute=$(date -u -d "@$at" +%-M)
    printf '%s %s\r\n' "$hour" "$minute" >"$dir/PowerOFF.txt"
    check "restart" systemctl restart verdimoor.service
    check "restart: DOWN, then UP with the schedule" log_ends_with "$record UP" "$record DOWN {4}" "$record UP" \
        "$record CRASH" "[0-9]+ $((hour * 60 + minute)) $dir/PowerOFF.txt APDOWN"
    # Kept, so that the report finds the DOWN over PDOWN on schedule; the
    # host starts the next boot after the minute, and the later boots of this
    # test come long before it comes round again.
    say "scheduled $at"
    sleep 150
    fail "no power-off by the service"
    power_off
    ;;
cut)
    check "the service is active" active
    sleep "$argument"
    say "cut at $(date +%s)"
    # The line above reaches the host before the reset.
    sleep 0.5
    echo b >/proc/sysrq-trigger
    ;;
upgrade)
    # The administrator's schedule, never due, which a purge leaves.
    printf '24 0\r\n' >"$dir/PowerOFF.txt"
    check "dpkg -i of version $argument" installed next.deb
    check "version $argument installed" [ "$(dpkg-query -W -f '${Version}' verdimoor)" = "$argument" ]
    check "the service is active" active
    check "upgrade: DOWN, then UP" log_ends_with "$record DOWN {4}" "$record UP" "$record CRASH" \
        "[0-9]+ 1440 $dir/PowerOFF.txt APDOWN"
    check "the report after the upgrade" runs_are '.[-2].ended == "down" and .[-1].ended == "running"'
    check "the report's version" [ "$(verdimoor-report --version)" = "verdimoor-report $argument" ]
    check "man verdimoor-report" sh -c 'MANWIDTH=80 man -P cat verdimoor-report 2>&1 | grep -q "^VERDIMOOR-REPORT(1)"'
    check "man 8 verdimoor" sh -c 'MANWIDTH=80 man -P cat 8 verdimoor 2>&1 | grep -q "^VERDIMOOR(8)"'

    metrics=/var/lib/prometheus/node-exporter/verdimoor.prom
    check "metrics timer enabled" systemctl enable --now --quiet verdimoor-metrics.timer
    check "metrics written by the timer" within 75 test -s "$metrics"
    check "metrics: the service running" grep -qx 'verdimoor_running{machine="verdimoor-vm"} 1' "$metrics"
    for unit in verdimoor.service verdimoor-metrics.service; do
        systemd-analyze security --no-pager "$unit" >/run/security.txt 2>&1
        exposure=$(sed -n 's/^.*Overall exposure level for [^:]*: \([0-9.]*\) .*$/\1/p' /run/security.txt)
        check "systemd-analyze security $unit: ${exposure:-none}, at most 1.5" \
            awk -v exposure="${exposure:-99}" 'BEGIN { exit !(exposure <= 1.5) }' ||
            grep '✗' /run/security.txt | sed 's/^/vm: /'
    done
    check "dpkg --purge" dpkg --purge verdimoor
    check "purge leaves PowerOFF.txt alone" [ "$(ls -A "$dir")" = PowerOFF.txt ]
    check "the service is gone" [ "$(systemctl show -P LoadState verdimoor.service)" = not-found ]
    power_off
    ;;
measure)
    # The sectors written to the disk over the heartbeats given, less those
    # written in the same time with the service stopped.
    check "dpkg -i" installed first.deb
    check "first heartbeat" within 45 heartbeat_seen
    field() { awk -v n="$1" '{print $n}' /sys/block/vda/stat; }
    after_heartbeats() {
        local count mtime
        for ((count = $1; count > 0; count--)); do
            mtime=$(stat -c %Y "$(log_path)")
            while [ "$(stat -c %Y "$(log_path)")" = "$mtime" ]; do sleep 0.2; done
        done
    }
    # Sectors written, write requests and flushes.
    sample() { echo "$(field 7) $(field 5) $(field 16) $(date +%s.%N)"; }
    # The journal's transactions, and those a flush asked for.
    commits() { sed -n 's/^\([0-9]*\) transactions (\([0-9]*\) requested).*/\1 \2/p' /proc/fs/jbd2/vda*/info; }
    after_heartbeats 1
    read -r sectors writes flushes began < <(sample)
    read -r transactions requested < <(commits)
    after_heartbeats "$argument"
    read -r sectors2 writes2 flushes2 ended < <(sample)
    read -r transactions2 requested2 < <(commits)
    say "with the service, $argument heartbeats: $((sectors2 - sectors)) sectors, $((writes2 - writes)) writes," \
        "$((flushes2 - flushes)) flushes, $((transactions2 - transactions)) journal transactions" \
        "($((requested2 - requested)) asked for)"
    check "service stopped" systemctl stop verdimoor.service
    # Its last writes, and the journal's, reach the disk first.
    sleep 35
    read -r idle writes flushes _ < <(sample)
    sleep "$(awk -v a="$began" -v b="$ended" 'BEGIN { print b - a }')"
    read -r idle2 writes2 flushes2 _ < <(sample)
    say "without it in the same time: $((idle2 - idle)) sectors, $((writes2 - writes)) writes," \
        "$((flushes2 - flushes)) flushes"
    say "sectors per heartbeat: $(awk -v s=$((sectors2 - sectors - idle2 + idle)) -v n="$argument" \
        'BEGIN { printf "%.1f", s / n }')"
    power_off
    ;;
*)
    fail "unknown step $step"
    power_off
    ;;
esac
