#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Checks the alerting rules and runs their unit tests: check_rules.sh PROMTOOL RULES TESTS
set -euo pipefail
promtool=$1 rules=$2 tests=$3
if [ ! -x "$promtool" ]; then
    echo "no promtool at $promtool: run scripts/fetch-promtool" >&2
    exit 77
fi
"$promtool" check rules "$rules"
"$promtool" test rules "$tests"
