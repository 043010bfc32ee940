# The desktop front end's helpers (JSON lines, annotated copies, file batches) are tested in the
# one test program; vistrel itself runs as a process in front_ends.cmake and vistrel_extras.cmake.
find_package(Threads REQUIRED)
target_sources(norvale_tests PRIVATE
    ${PROJECT_SOURCE_DIR}/apps/desktop/annotation.cpp
    ${PROJECT_SOURCE_DIR}/apps/desktop/file_batch.cpp
    ${PROJECT_SOURCE_DIR}/apps/desktop/json_report.cpp)
target_link_libraries(norvale_tests PRIVATE Threads::Threads)
target_compile_definitions(norvale_tests PRIVATE NORVALE_TEST_OUTPUT_DIR="${CMAKE_CURRENT_BINARY_DIR}")
