# SPDX-License-Identifier: Apache-2.0
# Which library may use which, kept by the build: each library's include path
# holds only its own headers and those of the libraries it links, and the
# built libraries are checked for calls that run the wrong way.

# verdimoor_headers(LIBRARY PATH...): the folders or headers named, relative
# to the source folder, linked into a folder of the build tree of their own,
# which is the include path of LIBRARY and of whatever links it. A header of
# any other folder is found by none of them.
function(verdimoor_headers library)
    set(root ${PROJECT_BINARY_DIR}/headers/${library})
    foreach(path IN LISTS ARGN)
        cmake_path(GET path PARENT_PATH parent)
        file(MAKE_DIRECTORY ${root}/${parent})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${path} ${root}/${path} SYMBOLIC)
    endforeach()
    target_include_directories(${library} PUBLIC ${root})
endfunction()

# verdimoor_check_links(LIBRARY "MAY USE..." ...): the build fails when a
# library's code uses a definition of another one of those named that it may
# not use.
function(verdimoor_check_links)
    set(arguments)
    set(libraries)
    while(ARGN)
        list(POP_FRONT ARGN library may_use)
        # Never empty, which the command line would drop.
        list(APPEND arguments ${library} $<TARGET_FILE:${library}> "${library} ${may_use}")
        list(APPEND libraries ${library})
    endwhile()
    set(checked ${PROJECT_BINARY_DIR}/links-checked)
    add_custom_command(OUTPUT ${checked}
        COMMAND ${PROJECT_SOURCE_DIR}/cmake/check-links.sh ${CMAKE_NM} ${arguments}
        COMMAND ${CMAKE_COMMAND} -E touch ${checked}
        DEPENDS ${libraries} ${PROJECT_SOURCE_DIR}/cmake/check-links.sh
        COMMENT "Checking which library uses which"
        VERBATIM)
    add_custom_target(check_links ALL DEPENDS ${checked})
endfunction()
