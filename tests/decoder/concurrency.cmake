# The concurrency test on its own, for the ThreadSanitizer tree: that tree builds only this
# program and the library (the whole suite already runs under ASan and UBSan).
find_package(Threads REQUIRED)
add_executable(norvale_concurrency_test
    ${CMAKE_CURRENT_LIST_DIR}/concurrency_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/test_support.cpp)
target_include_directories(norvale_concurrency_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(norvale_concurrency_test PRIVATE
    NORVALE_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")
target_compile_options(norvale_concurrency_test PRIVATE ${NORVALE_WARNINGS})
target_link_libraries(norvale_concurrency_test PRIVATE norvale_datamatrix GTest::gtest
    GTest::gtest_main PNG::PNG ZLIB::ZLIB Threads::Threads)
