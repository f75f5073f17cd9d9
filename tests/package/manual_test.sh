#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# The manual pages and the completion in step with the programs: every long
# option that --help lists is in the page and, for verdimoor-report, in the
# completion, and neither names any other; each page renders without a
# warning; the completion offers --schedule's value, and folders and files
# whose names hold blanks, quotes and line ends as bash's own does.
#   manual_test.sh <verdimoor-report> <verdimoor> <folder of the pages> <completion script>
set -uo pipefail
report=$1 daemon=$2 pages=$3 completion=$(realpath "$4")
failures=0
pass() { echo "ok: $1"; }
fail() { echo "FAIL: $1"; failures=$((failures + 1)); }

options() { grep -oE -- '--[a-z][a-z-]*' | sort -u | tr '\n' ' '; }
# What the completion offers after the words given (each word as typed, its
# quotes too), one a line, quoted as the shell would read it.
complete_words() {
    bash -c 'source "$1"; shift; COMP_WORDS=(verdimoor-report "$@"); COMP_CWORD=$#; _verdimoor_report
             printf "%q\n" "${COMPREPLY[@]}"' _ "$completion" "$@"
}

for page in verdimoor-report.1 verdimoor.8; do
    warnings=$(MANWIDTH=80 man --warnings -l "$pages/$page.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] && pass "$page renders without warnings" || fail "$page: $warnings"
done

listed=$("$report" --help | options)
in_page=$(zcat "$pages/verdimoor-report.1.gz" | sed 's/\\-/-/g' | options)
[ "$in_page" = "$listed" ] && pass "verdimoor-report(1) names the options of --help" ||
    fail "verdimoor-report(1) names $in_page, --help $listed"
offered=$(complete_words -- | options)
[ "$offered" = "$listed" ] && pass "the completion offers the options of --help" ||
    fail "the completion offers $offered, --help lists $listed"
[ "$(complete_words --schedule '')" = none ] && pass "--schedule completes none" || fail "--schedule completes otherwise"
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
mkdir "$folder/logs-of-pc1" "$folder/pc 2 logs" "$folder/it's" "$folder/"$'new\nline'
touch "$folder/logs-file" "$folder/out file.csv"
# The words typed, as typed, and last what the completion offers.
while IFS='|' read -ra row; do
    offered=${row[-1]}
    got=$(cd "$folder" && complete_words "${row[@]:0:${#row[@]}-1}")
    [ "$got" = "$offered" ] && pass "${row[*]:0:${#row[@]}-1} completes as $offered" ||
        fail "${row[*]:0:${#row[@]}-1} completes as $got, not $offered"
done <<'ROWS'
logs|logs-of-pc1
pc\ 2|pc\ 2\ logs
"pc|pc\ 2\ logs
it\'|it\'s
ne|$'new\nline'
--output|out\ f|out\ file.csv
--svg|logs-f|logs-file
ROWS

listed=$("$daemon" --help | options)
in_page=$(zcat "$pages/verdimoor.8.gz" | sed 's/\\-/-/g' | options)
[ "$in_page" = "$listed" ] && pass "verdimoor(8) names the options of --help" ||
    fail "verdimoor(8) names $in_page, --help $listed"

[ "$failures" = 0 ]
