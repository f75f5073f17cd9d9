#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Fails when a library's code uses what another library defines that it may
# not use, however the call was declared: an include is stopped by the
# include path, a declaration written by hand only here.
#
#   check-links.sh NM LIBRARY ARCHIVE "LIBRARY MAY-USE..." [LIBRARY ARCHIVE "LIBRARY MAY-USE..."]...
set -euo pipefail
nm=$1
shift
declare -A archive may_use owner
libraries=()
while (($# >= 3)); do
    libraries+=("$1")
    archive[$1]=$2
    may_use[$1]=" $3 "
    shift 3
done
# Who defines each symbol: the strong definitions alone, as inline functions
# and templates are defined, weakly, wherever they are used.
for library in "${libraries[@]}"; do
    while read -r symbol; do
        owner[$symbol]=$library
    done < <("$nm" -g --defined-only "${archive[$library]}" | awk 'NF == 3 && $2 ~ /^[TDBRGS]$/ { print $3 }')
done
failed=0
for library in "${libraries[@]}"; do
    while read -r symbol; do
        defined=${owner[$symbol]:-}
        if [[ -n $defined && $defined != "$library" && ${may_use[$library]} != *" $defined "* ]]; then
            others=${may_use[$library]/ $library / }
            [[ -n ${others// /} ]] || others=" nothing else"
            echo "$library uses $(c++filt "$symbol"), which $defined defines; it may use only:${others% }" >&2
            failed=1
        fi
    done < <("$nm" -u "${archive[$library]}" | awk '$1 == "U" { print $2 }' | sort -u)
done
exit "$failed"
