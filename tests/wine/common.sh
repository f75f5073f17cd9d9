# SPDX-License-Identifier: Apache-2.0
# shellcheck shell=bash
# What the tests under Wine share; sourced, it runs nothing by itself.
# A test calls need_wine with the files it needs, then use_prefix with its
# Wine prefix, and sets dir (the service's folder on the Linux side) before
# the log helpers.

# Debian's wine64 puts its binaries here and, without the recommended
# packages, nothing on the PATH.
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Exits with one line naming the first of Wine and the files given that is
# missing.
need_wine() {
    local needed
    for needed in "$wine" "$wineserver" "$@"; do
        [ -e "$needed" ] || { echo "missing prerequisite: $needed"; exit 1; }
    done
}

# Works in the prefix given, and ends its wineserver, with every process of
# the prefix, when the test exits, pass or fail, or is ended by a timeout.
use_prefix() {
    export WINEPREFIX=$1 WINEDEBUG=-all
    unset DISPLAY
    trap end_wine EXIT
    trap 'exit 1' TERM INT
}
end_wine() { "$wineserver" -k 2>/dev/null; }

# The day of the month and the minute of the day, now.
day() { date +%-d; }
minute() { echo $((10#$(date +%H) * 60 + 10#$(date +%M))); }
# shellcheck disable=SC2154 # dir is set by the test
log_path() { echo "$dir/$(date +%Y)_$(date +%-m).log"; }

# The month's log as it is now, followed by an x that keeps its last line end.
log_text() { cat "$(log_path)" 2>/dev/null; printf x; }

# Compares the month's log, or the log_text given with --text, with the lines
# given, each ended by CR LF here.
log_is() {
    local what=$1; shift
    local expected actual
    if [ "${1-}" = --text ]; then actual=$2; shift 2; else actual=$(log_text); fi
    expected=$(printf '%s\r\n' "$@"; printf x)
    if [ "$actual" == "$expected" ]; then pass "$what"; else
        fail "$what"; printf 'expected:\n%s\nactual:\n%s\n' "${expected%x}" "${actual%x}" | cat -A; fi
}

# Runs a Service Control Manager command, retried while the manager is busy.
manage() {
    local output
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        output=$("$wine" "$@" 2>&1)
        if ! grep -qE 'Could not get handle to service|database locked' <<<"$output"; then
            echo "$output"
            return 0
        fi
        sleep 1
    done
    echo "$output"
}

# The version an executable's version resource shows, as FileVersion and
# ProductVersion: one line when they agree.
version_resource() {
    strings -el "$1" | grep -A1 -x -e FileVersion -e ProductVersion | grep -v -e Version -e -- | sort -u
}
