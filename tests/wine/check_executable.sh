#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# verdimoor.exe: a stripped GUI-subsystem executable within 64 KiB that
# imports only KERNEL32, ADVAPI32, USER32 and msvcrt, whose version resource
# names the version given, and whose message table holds the texts of the
# events 1 to 5.
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
# windres shows a message table's IDs, each with its text, in its dump.
messages=$(x86_64-w64-mingw32-windres -i "$exe" -O rc | awk '/MessageId = / {print $3}' | tr '\n' ' ')
[ "$messages" = "0x1 0x2 0x3 0x4 0x5 " ] || { echo "message table holds '$messages', not IDs 1 to 5"; exit 1; }
