# The Debian package: `cpack -G DEB` in a build configured with CMAKE_INSTALL_PREFIX=/usr
# (`make package` does that). One package holds the three programs, their desktop entry, icon and
# manual pages, and the qdx library with its headers, CMake package and pkg-config file.

set(CPACK_PACKAGE_NAME rolvek)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Rolvek")
set(CPACK_PACKAGE_CONTACT "Rolvek maintainers <maintainers@rolvek.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # rolvek_<version>-<release>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION math)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The summary line comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY; CPack indents these lines and
# turns the empty one into the paragraph mark.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Rolvek rolls a die of a chosen number of faces run after run on a worker
thread and shows, for every face, the count, its deviation from the mean and
a bar scaled to the largest deviation. rolvek-check does the same without a
window and adds a chi-square test of the totals; qdx-time reads the time from
a time page.

The package also carries qdx, the utility library under the tool (text,
arrays, date and time, daily log, HTTP fetch, browser launcher), with its
headers, CMake package and pkg-config file.")

# The libraries the programs link are found by dpkg-shlibdeps (libqt6gui6 brings the X11 and
# offscreen platform plugins with it).
find_program(DPKG_SHLIBDEPS_PROGRAM dpkg-shlibdeps)
if(DPKG_SHLIBDEPS_PROGRAM)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # libqdx.so.1 comes with the package itself.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/lib")
else()
  # Without dpkg-shlibdeps, the Debian 12 packages of everything the programs link.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1, libcurl4 (>= 7.16.2), libdate-tz3, libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4)")
endif()
# The zone database for Eastern time, the desktop's handler for web pages, a font for the window,
# and the platform plugin for Wayland sessions without XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "tzdata, xdg-utils, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")
# A shlibs file for libqdx.so.1, and ldconfig run on install and removal.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

include(CPack)
