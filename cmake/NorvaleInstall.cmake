# Installation of the desktop library: a static archive (Norvale::DataMatrix) and a shared object
# (Norvale::DataMatrixShared) built from the same sources, the public headers, a CMake package
# (find_package(NorvaleDataMatrix)) and a pkg-config file (norvale-datamatrix).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Same sources as the static library, the core's objects included (they are compiled as
# position-independent code for both).
get_target_property(NORVALE_DESKTOP_SOURCES norvale_datamatrix SOURCES)
add_library(norvale_datamatrix_shared SHARED ${NORVALE_DESKTOP_SOURCES})
target_include_directories(norvale_datamatrix_shared
    PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
        $<BUILD_INTERFACE:${NORVALE_GENERATED_INCLUDE_DIR}>
    PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(norvale_datamatrix_shared PRIVATE ${NORVALE_WARNINGS})
target_link_libraries(norvale_datamatrix_shared PRIVATE PNG::PNG JPEG::JPEG ZLIB::ZLIB)
set_target_properties(norvale_datamatrix_shared PROPERTIES
    ${NORVALE_LIBRARY_VISIBILITY}
    OUTPUT_NAME norvale_datamatrix
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    EXPORT_NAME DataMatrixShared)
add_library(Norvale::DataMatrixShared ALIAS norvale_datamatrix_shared)

set_target_properties(norvale_datamatrix PROPERTIES EXPORT_NAME DataMatrix)
foreach(target norvale_datamatrix norvale_datamatrix_shared)
    target_include_directories(${target} INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
endforeach()

install(TARGETS norvale_datamatrix norvale_datamatrix_shared
    EXPORT NorvaleDataMatrixTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/norvale
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
    FILES_MATCHING PATTERN "*.h" PATTERN "*.hpp")
install(FILES ${NORVALE_GENERATED_INCLUDE_DIR}/norvale/version.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/norvale)

set(NORVALE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/NorvaleDataMatrix)
install(EXPORT NorvaleDataMatrixTargets
    NAMESPACE Norvale::
    DESTINATION ${NORVALE_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/NorvaleDataMatrixConfig.cmake.in
    ${PROJECT_BINARY_DIR}/NorvaleDataMatrixConfig.cmake
    INSTALL_DESTINATION ${NORVALE_CMAKE_DIR})
# 0.x releases promise nothing across minor versions.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/NorvaleDataMatrixConfigVersion.cmake
    COMPATIBILITY SameMinorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/NorvaleDataMatrixConfig.cmake
    ${PROJECT_BINARY_DIR}/NorvaleDataMatrixConfigVersion.cmake
    DESTINATION ${NORVALE_CMAKE_DIR})

# The .pc file finds its prefix from its own place, so a tree installed with --prefix elsewhere
# (or moved) still resolves.
file(RELATIVE_PATH NORVALE_PC_TO_PREFIX
    ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" NORVALE_PC_TO_PREFIX "${NORVALE_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/norvale-datamatrix.pc.in
    ${PROJECT_BINARY_DIR}/norvale-datamatrix.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/norvale-datamatrix.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
