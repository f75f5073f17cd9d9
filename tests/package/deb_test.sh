#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# The Debian package, checked without installing it on this machine:
#   deb_test.sh <verdimoor_<version>_amd64.deb> <version> <work folder>
# lintian, the package's contents, the units, the maintainer scripts inside a
# mount namespace of their own, and the extracted daemon and report run from
# the work folder. Every process started here is stopped by its process id.
set -uo pipefail

deb=$1 version=$2 work=$3
for needed in "$deb" /usr/bin/lintian /usr/bin/systemd-analyze /usr/bin/setpriv /usr/bin/unshare; do
    [ -e "$needed" ] || { echo "missing prerequisite: $needed"; exit 1; }
done
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

daemon=
stop_daemon() { [ -n "$daemon" ] && kill -TERM "$daemon" 2>/dev/null && wait "$daemon" 2>/dev/null; daemon=; }
trap stop_daemon EXIT

rm -rf "$work"
mkdir -p "$work"
root=$work/root
dpkg-deb -x "$deb" "$root"
dpkg-deb -e "$deb" "$work/control"
opt=/opt/verdimoor

# lintian: no error, and no warning that the package's overrides do not name.
if lintian --fail-on error,warning --info "$deb" >"$work/lintian.txt" 2>&1; then pass "lintian"; else
    fail "lintian"; cat "$work/lintian.txt"; fi

# What an administrator gets, and nothing enabled by the package itself.
contents=$(dpkg-deb --contents "$deb" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }')
for entry in ./opt/verdimoor/verdimoor ./opt/verdimoor/verdimoor-report ./opt/verdimoor/README.md \
        "./usr/bin/verdimoor-report -> /opt/verdimoor/verdimoor-report" \
        ./lib/systemd/system/verdimoor.service ./lib/systemd/system/verdimoor-metrics.service \
        ./lib/systemd/system/verdimoor-metrics.timer \
        ./usr/share/doc/verdimoor/copyright ./usr/share/doc/verdimoor/changelog.gz \
        ./usr/share/man/man1/verdimoor-report.1.gz ./usr/share/man/man8/verdimoor.8.gz \
        ./usr/share/bash-completion/completions/verdimoor-report; do
    grep -qxF "$entry" <<<"$contents" && pass "contains ${entry#.}" || fail "missing ${entry#.}"
done
grep -q '^\./etc/' <<<"$contents" && fail "ships files in /etc: $(grep '^\./etc/' <<<"$contents")" || pass "nothing in /etc"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] && pass "version $version" || fail "version $(dpkg-deb -f "$deb" Version)"

# The units, against the extracted files and the system's own targets.
verify_root=$work/verify
cp -a "$root" "$verify_root"
cp -n /lib/systemd/system/*.target "$verify_root/lib/systemd/system/"
# The system's own programs that the units run, such as mkdir.
for program in $(sed -n 's|^Exec[A-Za-z]*=[-+@!:]*\(/[^ ]*\).*|\1|p' "$root"/lib/systemd/system/verdimoor*); do
    [ -e "$verify_root$program" ] || install -D "$program" "$verify_root$program"
done
for unit in verdimoor.service verdimoor-metrics.service verdimoor-metrics.timer; do
    output=$(systemd-analyze verify --man=no --root="$verify_root" "$unit" 2>&1)
    [ $? = 0 ] && [ -z "$output" ] && pass "systemd-analyze verify $unit" || fail "verify $unit: $output"
done

# The maintainer scripts, in a mount namespace whose /opt and /run are empty
# and whose deb-systemd-helper only records its calls: systemd runs nowhere
# there, so nothing may be started or stopped.
stubs=$work/stubs
mkdir -p "$stubs"
for tool in deb-systemd-helper deb-systemd-invoke systemctl; do
    printf '#!/bin/sh\necho "%s $*" >>"%s/calls"\n' "$tool" "$work" >"$stubs/$tool"
    chmod +x "$stubs/$tool"
done
cat >"$work/scripts.sh" <<SCRIPTS
set -e
mount -t tmpfs none /opt
mount -t tmpfs none /run
mkdir -p $opt
printf '1 2 UP\r\n' >$opt/2026_12.log
printf 'Error: x\r\r\n' >$opt/Err.log
install -m 0600 /dev/null $opt/verdimoor.lock
printf '22 30\r\n' >$opt/PowerOFF.txt
for step in "\$@"; do $work/control/\$step; done
ls $opt
SCRIPTS
# Runs the maintainer scripts named, each with its arguments, and lists what
# is left in the daemon's folder.
scripts() { unshare --mount --propagation private env PATH="$stubs:$PATH" sh "$work/scripts.sh" "$@"; }

rm -f "$work/calls"
scripts "postinst configure" >/dev/null
grep -qx 'deb-systemd-helper enable verdimoor.service' "$work/calls" && pass "postinst enables the service" ||
    fail "postinst: $(cat "$work/calls")"
grep -E 'enable|start' "$work/calls" | grep -q metrics && fail "postinst enables the metrics timer" ||
    pass "metrics timer left disabled"
grep -qE '^(deb-systemd-invoke|systemctl)' "$work/calls" && fail "starts units without systemd: $(cat "$work/calls")" ||
    pass "nothing started where systemd does not run"
left=$(scripts "prerm remove" "postrm remove" | tr '\n' ' ')
[ "$left" = "2026_12.log Err.log PowerOFF.txt verdimoor.lock " ] && pass "remove keeps the logs" ||
    fail "after remove: $left"
left=$(scripts "prerm remove" "postrm remove" "postrm purge" | tr '\n' ' ')
[ "$left" = "PowerOFF.txt " ] && pass "purge deletes the logs and the lock file, keeps PowerOFF.txt" ||
    fail "after purge: $left"

# The extracted daemon, without the capability to shut down and without a
# schedule: the start lines, then DOWN when SIGTERM stops it.
dir=$root$opt
log=$dir/$(date +%Y)_$(date +%-m).log
env -u NOTIFY_SOCKET setpriv --bounding-set -sys_boot "$dir/verdimoor" </dev/null &
daemon=$!
for _ in $(seq 1 50); do grep -q APDOWN "$log" 2>/dev/null && break; sleep 0.1; done
cr=$'\r'
if grep -qE "^[0-9]+ [0-9]+ UP$cr\$" "$log" && grep -qF "3660 $dir/PowerOFF.txt APDOWN" "$log"; then
    pass "extracted daemon writes its start lines"; else fail "start lines: $(cat -A "$log" 2>&1)"; fi
kill -TERM "$daemon"
wait "$daemon"
code=$?
daemon=
[ "$code" = 1 ] && tail -n 1 "$log" | grep -qE "^[0-9]+ [0-9]+ DOWN    $cr\$" && pass "SIGTERM closes the run with DOWN" ||
    fail "after SIGTERM: exit code $code, $(tail -n 1 "$log" | cat -A)"

# The extracted report, over the logs beside it by default: the daemon's one
# run, closed with DOWN.
[ "$("$dir/verdimoor-report" --version 2>&1)" = "verdimoor-report $version" ] && pass "report version" ||
    fail "report --version: $("$dir/verdimoor-report" --version 2>&1)"
runs=$("$dir/verdimoor-report" --csv 2>&1 | tail -n +2)
[[ "$runs" == "$dir,"*",down,$(basename "$log"),1" ]] && pass "report reads the daemon's run" || fail "report: $runs"

[ "$failures" = 0 ]
