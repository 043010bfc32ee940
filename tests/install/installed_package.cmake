# The installed package, used from a project outside the tree: CMake package and pkg-config.
add_test(NAME Install.ConsumerUsesInstalledPackage
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install/check_installed_package.sh
        ${CMAKE_BINARY_DIR}
        ${CMAKE_CURRENT_SOURCE_DIR}/install/consumer
        ${CMAKE_CURRENT_BINARY_DIR}/installed-package
        ${CMAKE_CURRENT_SOURCE_DIR}/data/blackbox/formats/png-grey8.png
        ${CMAKE_CURRENT_SOURCE_DIR}/data/blackbox/formats/png-grey8.bin
        ${PROJECT_VERSION})
set_tests_properties(Install.ConsumerUsesInstalledPackage PROPERTIES TIMEOUT 300)

# The shared library exports the functions the public headers mark, and nothing of its insides.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
add_test(NAME Install.SharedLibraryExportsOnlyPublicNames
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/install/check_exported_names.py
        $<TARGET_FILE:norvale_datamatrix_shared> ${PROJECT_SOURCE_DIR}/include/norvale)
