# The printers of the picture and the metrics, the atomic output file, and
# the host operations they need; verdimoor-report links them.
add_library(report_pictures STATIC
    ${CMAKE_CURRENT_LIST_DIR}/svg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/html.cpp
    ${CMAKE_CURRENT_LIST_DIR}/openmetrics.cpp
    ${CMAKE_CURRENT_LIST_DIR}/output.cpp)
if(WIN32)
    target_sources(report_pictures PRIVATE ${CMAKE_CURRENT_LIST_DIR}/host-win32.cpp)
else()
    target_sources(report_pictures PRIVATE ${CMAKE_CURRENT_LIST_DIR}/host-posix.cpp)
endif()
target_link_libraries(report_pictures PUBLIC verdimoor_report_lib)
