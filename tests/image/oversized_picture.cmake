# The oversized-picture test once more, alone and with malloc wrapped, so that it can check the
# largest heap request of each refused call. Sanitizer builds bring their own allocator, so
# there the wrapper is left out.
if(NOT CMAKE_CXX_FLAGS MATCHES "sanitize")
    add_executable(norvale_allocation_test
        ${CMAKE_CURRENT_LIST_DIR}/oversized_picture_test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/../test_support.cpp)
    target_include_directories(norvale_allocation_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
    target_compile_definitions(norvale_allocation_test PRIVATE
        NORVALE_TEST_DATA_DIR="${CMAKE_CURRENT_LIST_DIR}/../data")
    target_compile_definitions(norvale_allocation_test PRIVATE NORVALE_COUNT_ALLOCATIONS=1)
    target_compile_options(norvale_allocation_test PRIVATE ${NORVALE_WARNINGS})
    target_link_libraries(norvale_allocation_test PRIVATE norvale_datamatrix GTest::gtest
        GTest::gtest_main PNG::PNG ZLIB::ZLIB)
    gtest_discover_tests(norvale_allocation_test TEST_PREFIX "Allocations." DISCOVERY_TIMEOUT 60)
endif()
