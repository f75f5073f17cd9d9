#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# verdimoor.exe: a stripped GUI-subsystem executable within 64 KiB that
# imports only KERNEL32, ADVAPI32, USER32 and msvcrt, and whose version
# resource names the version given.
#   check_executable.sh <verdimoor.exe> <version>
set -euo pipefail
exe=$1 version=$2
# shellcheck source=tests/wine/common.sh
source "$(dirname "$0")/common.sh"
headers=$(x86_64-w64-mingw32-objdump -p "$exe")
dlls=$(grep 'DLL Name' <<<"$headers" | awk '{print toupper($3)}' | sort | tr '\n' ' ')
size=$(stat -c %s "$exe")
echo "size $size bytes; imports $dlls"
[ "$dlls" = "ADVAPI32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL " ] || { echo "unexpected imports"; exit 1; }
[ "$size" -le 65536 ] || { echo "larger than 64 KiB"; exit 1; }
grep -q 'Subsystem.*Windows GUI' <<<"$headers" || { echo "not a GUI-subsystem executable"; exit 1; }
shown=$(version_resource "$exe" || true)
[ "$shown" = "$version" ] || { echo "version resource shows '$shown', not $version"; exit 1; }
