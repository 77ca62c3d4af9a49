# Install rules and packaging: header, library, CMake package, pkg-config file,
# copyright; CPack makes the Debian package and the Windows zip from them.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VESK_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/VeskMathLIB")
target_include_directories(VeskMathLIB INTERFACE "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")
install(TARGETS VeskMathLIB EXPORT VeskMathLIBTargets
    LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}"
    RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}"
    ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}")
install(FILES "${CMAKE_SOURCE_DIR}/include/VeskMathLIB.h" DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")
install(EXPORT VeskMathLIBTargets NAMESPACE VeskMathLIB:: DESTINATION "${VESK_CMAKE_DIR}")
configure_package_config_file("${CMAKE_SOURCE_DIR}/cmake/VeskMathLIBConfig.cmake.in"
    "${CMAKE_BINARY_DIR}/VeskMathLIBConfig.cmake" INSTALL_DESTINATION "${VESK_CMAKE_DIR}")
# 0.x: a new minor version may change the interface.
write_basic_package_version_file("${CMAKE_BINARY_DIR}/VeskMathLIBConfigVersion.cmake"
    VERSION "${PROJECT_VERSION}" COMPATIBILITY SameMinorVersion)
install(FILES "${CMAKE_BINARY_DIR}/VeskMathLIBConfig.cmake" "${CMAKE_BINARY_DIR}/VeskMathLIBConfigVersion.cmake"
    DESTINATION "${VESK_CMAKE_DIR}")

# The .pc file finds its prefix from its own place, so an unpacked package works too.
file(RELATIVE_PATH VESK_PC_TO_PREFIX "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
string(REGEX REPLACE "/$" "" VESK_PC_TO_PREFIX "${VESK_PC_TO_PREFIX}")
configure_file("${CMAKE_SOURCE_DIR}/cmake/veskmathlib.pc.in" "${CMAKE_BINARY_DIR}/veskmathlib.pc" @ONLY)
install(FILES "${CMAKE_BINARY_DIR}/veskmathlib.pc" DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig")

if(WIN32)
    # Hosts that link through their own toolchain build an import library from it.
    install(FILES "${VESK_DEF}" DESTINATION "${CMAKE_INSTALL_LIBDIR}" RENAME VeskMathLIB.def)
    install(FILES "${CMAKE_SOURCE_DIR}/LICENSE" DESTINATION .)
else()
    # Debian's machine-readable copyright file, from the license text.
    file(READ "${CMAKE_SOURCE_DIR}/LICENSE" VESK_LICENSE)
    string(REGEX REPLACE "\n\n" "\n.\n" VESK_LICENSE "${VESK_LICENSE}")
    string(REGEX REPLACE "\n([^\n])" "\n \\1" VESK_LICENSE " ${VESK_LICENSE}")
    file(WRITE "${CMAKE_BINARY_DIR}/copyright"
        "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
        "Upstream-Name: VeskMathLIB\n\nFiles: *\nCopyright: 2026 the VeskMathLIB authors\nLicense: MIT\n"
        "${VESK_LICENSE}")
    install(FILES "${CMAKE_BINARY_DIR}/copyright" DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/libveskmathlib")
endif()

set(CPACK_PACKAGE_NAME VeskMathLIB)
set(CPACK_PACKAGE_VENDOR "the VeskMathLIB authors")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "math, geometry, collision and model loaders for 3D engines")
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_SOURCE_DIR}/LICENSE")
set(CPACK_DEBIAN_PACKAGE_NAME libveskmathlib)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "VeskMathLIB authors <maintainers@veskmathlib.invalid>")
# CPack puts the summary line above this text.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A dynamic library that real-time 3D engines load by name: vector, scalar\n"
    "and matrix math, geometric tests and collision, and loaders for classic\n"
    "game model and image formats. Ships the library, its C header, a CMake\n"
    "package and a pkg-config file.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(WIN32)
    # One zip holds both DLLs: scripts/package.sh packs the x86 and x86-64 builds together.
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME "VeskMathLIB-${PROJECT_VERSION}-windows")
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_STRIP_FILES ON)
endif()
include(CPack)
