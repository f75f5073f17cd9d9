# SPDX-License-Identifier: Apache-2.0
# Makes the MSI with wixl, run as cmake -DWIXL=... -DMSI=... -P msi.cmake in
# the folder of verdimoor.wxs and the files it installs. The Apps entry's
# size is theirs, in KiB rounded up, summed from the Source attributes, so
# that a file added to the package counts without being named twice.
file(READ verdimoor.wxs wxs)
string(REGEX MATCHALL "Source=\"[^\"]+\"" sources "${wxs}")
set(bytes 0)
foreach(source IN LISTS sources)
    string(REGEX REPLACE "^Source=\"(.*)\"$" "\\1" name "${source}")
    file(SIZE ${name} size)
    math(EXPR bytes "${bytes} + ${size}")
endforeach()
math(EXPR kib "(${bytes} + 1023) / 1024")
execute_process(COMMAND ${WIXL} --arch x64 -D InstalledKiB=${kib} --output ${MSI} verdimoor.wxs
                COMMAND_ERROR_IS_FATAL ANY)
