# The Debian packages: `cpack` in a build configured with CMAKE_INSTALL_PREFIX=/usr and
# ROLVEK_DEB_PACKAGE=ON (`make package` does that). Three packages from the one build, split as
# Debian splits a library and its tools; each is an install component of the same name:
#   libqdx1     libqdx.so.1, named after its SONAME; symbols file, ldconfig by trigger
#   libqdx-dev  headers, the libqdx.so link, the CMake package and qdx.pc
#   rolvek      the three programs, desktop entry, icons, manual pages
# The Debian files that go with them (copyright, changelog, symbols, lintian overrides) are in
# pkg/debian/ and installed by pkg/CMakeLists.txt.

set(CPACK_PACKAGE_NAME rolvek)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Rolvek")
set(CPACK_PACKAGE_CONTACT "Rolvek maintainers <maintainers@rolvek.invalid>")
# The summary is each package's own first description line, below.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL libqdx1 libqdx-dev rolvek)
# The Debian files live in this source tree, so the packages are native: version 1.2.0, no
# Debian revision, and the file names libqdx1_1.2.0_amd64.deb and so on.
set(CPACK_DEBIAN_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE rolvek)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
find_program(DPKG_SHLIBDEPS_PROGRAM dpkg-shlibdeps)
if(NOT DPKG_SHLIBDEPS_PROGRAM)
  message(STATUS "dpkg-shlibdeps not found: the packages can only be made on Debian (dpkg-dev)")
endif()
set(QDX_DEB_VERSION "${PROJECT_VERSION}")

# libqdx1 ------------------------------------------------------------------------------------------
set(CPACK_DEBIAN_LIBQDX1_PACKAGE_NAME libqdx1)
set(CPACK_DEBIAN_LIBQDX1_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBQDX1_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_LIBQDX1_DESCRIPTION
    "utility library of the Rolvek generator check
qdx is a general C++ utility library: a text class and string array, a
pointer array, a date-time class with calendar arithmetic, a daily log
writer, an HTTP fetch with redirects, a settings file reader and writer
and a browser launcher. It has no Qt in it.

This package contains the shared library.")
# The shlibs file for tools that ask for it; dpkg-shlibdeps prefers the symbols file, which
# pkg/CMakeLists.txt makes at build time from the checked-in list (pkg/debian/libqdx1.symbols).
file(WRITE "${CMAKE_BINARY_DIR}/pkg/deb/libqdx1/shlibs" "libqdx 1 libqdx1 (>= ${QDX_DEB_VERSION})\n")
configure_file("${PROJECT_SOURCE_DIR}/pkg/debian/libqdx1.triggers" "${CMAKE_BINARY_DIR}/pkg/deb/libqdx1/triggers" COPYONLY)
set(CPACK_DEBIAN_LIBQDX1_PACKAGE_CONTROL_EXTRA
    "${CMAKE_BINARY_DIR}/pkg/deb/libqdx1/shlibs;${CMAKE_BINARY_DIR}/pkg/deb/libqdx1/symbols;${CMAKE_BINARY_DIR}/pkg/deb/libqdx1/triggers")

# libqdx-dev ---------------------------------------------------------------------------------------
set(CPACK_DEBIAN_LIBQDX-DEV_PACKAGE_NAME libqdx-dev)
set(CPACK_DEBIAN_LIBQDX-DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_LIBQDX-DEV_PACKAGE_DEPENDS "libqdx1 (= ${QDX_DEB_VERSION})")
set(CPACK_DEBIAN_LIBQDX-DEV_DESCRIPTION
    "utility library of the Rolvek generator check - development files
qdx is a general C++ utility library: a text class and string array, a
pointer array, a date-time class with calendar arithmetic, a daily log
writer, an HTTP fetch with redirects, a settings file reader and writer
and a browser launcher.

This package contains the headers (one umbrella header, <qdx/qdx.h>), the
CMake package (find_package(qdx), target qdx::qdx) and the pkg-config file
qdx.pc, for building C++20 programs against libqdx.")

# rolvek -------------------------------------------------------------------------------------------
set(CPACK_DEBIAN_ROLVEK_PACKAGE_NAME rolvek)
set(CPACK_DEBIAN_ROLVEK_PACKAGE_SECTION math)
set(CPACK_DEBIAN_ROLVEK_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps names the system's libraries (libqt6gui6 brings the X11 and offscreen platform
# plugins with it); libqdx.so.1 is found in the build tree and comes from libqdx1 of this build.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/lib")
set(CPACK_DEBIAN_ROLVEK_PACKAGE_DEPENDS "libqdx1 (= ${QDX_DEB_VERSION})")
# The zone database for Eastern time, a font for the window, and the platform plugin for Wayland
# sessions without XWayland. The browser is found from the desktop entries, without xdg-utils.
set(CPACK_DEBIAN_ROLVEK_PACKAGE_RECOMMENDS "tzdata, fonts-dejavu-core")
set(CPACK_DEBIAN_ROLVEK_PACKAGE_SUGGESTS "qt6-wayland")
set(CPACK_DEBIAN_ROLVEK_DESCRIPTION
    "check how evenly a pseudo-random generator spreads its output
Rolvek rolls a die of a chosen number of faces run after run on a worker
thread and shows, for every face, the count, its deviation from the mean and
a bar scaled to the largest deviation. It checks the C library's rand() or
one of two well-known linear congruential generators.

rolvek-check does the same without a window and adds a chi-square test of
the totals; qdx-time reads the time from a time page.")

# CPack gives every package with a library in /usr/lib a postinst and postrm that call ldconfig;
# libqdx1 has its trigger instead, so they are taken out again once the packages are made.
set(CPACK_POST_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/pkg/drop-ldconfig-scripts.cmake")

include(CPack)
