# SPDX-License-Identifier: Apache-2.0
# The project's one version, and the resource that shows it on Windows.

# A build of another version without editing any file, e.g. the upgrade
# test's second installer: -DVERDIMOOR_VERSION=1.0.1.
set(VERDIMOOR_VERSION "" CACHE STRING "Version to build instead of the project's")
if(VERDIMOOR_VERSION)
    if(NOT VERDIMOOR_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
        message(FATAL_ERROR "VERDIMOOR_VERSION must be major.minor.patch, not '${VERDIMOOR_VERSION}'")
    endif()
    set(PROJECT_VERSION ${VERDIMOOR_VERSION})
    set(PROJECT_VERSION_MAJOR ${CMAKE_MATCH_1})
    set(PROJECT_VERSION_MINOR ${CMAKE_MATCH_2})
    set(PROJECT_VERSION_PATCH ${CMAKE_MATCH_3})
    set(CMAKE_PROJECT_VERSION ${VERDIMOOR_VERSION})
    set(${PROJECT_NAME}_VERSION ${VERDIMOOR_VERSION})
endif()

# Gives a Windows executable a VERSIONINFO resource with the project's version.
function(verdimoor_version_resource target description)
    if(NOT WIN32)
        return()
    endif()
    set(VERSION_NAME ${target})
    set(VERSION_DESCRIPTION ${description})
    configure_file(${PROJECT_SOURCE_DIR}/dist/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
endfunction()
