# The Debian package: in a build tree configured for /usr
#   cpack -G DEB
# writes zyrsat_<version>_amd64.deb with the programs, the manual page and
# changelog (gzipped), the copyright file and the data under /usr/share/zyrsat.
# dpkg-shlibdeps (dpkg-dev) works out the Depends line from the libraries the
# programs link, which needs the file utility.  scripts/test-deb.sh builds, installs, runs and
# purges it.
set(ZYR_PACKAGE_MAINTAINER "zyrsat maintainers <maintainers@users.noreply.c-seed-ae1fa193.example>"
  CACHE STRING "Maintainer field of the Debian package")
set(ZYR_PACKAGE_HOMEPAGE "https://zyrsat.example/"
  CACHE STRING "Homepage field of the Debian package (the project has no public address yet)")

# The changelog a Debian package carries (dated at configure time, or by
# SOURCE_DATE_EPOCH for a reproducible build).
string(TIMESTAMP ZYR_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/changelog DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zyrsat)
set(CPACK_PACKAGE_VENDOR "zyrsat developers")
set(CPACK_PACKAGE_CONTACT "${ZYR_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${ZYR_PACKAGE_HOMEPAGE}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "satellite image display with map remapping and enhancements")
set(CPACK_PACKAGE_DESCRIPTION "\
zyrsat turns satellite image files into pictures: it reads an image (McIDAS
AREA, AWIPS, Unisys, TIFF/GeoTIFF, LRIT/HRIT or its own ZYRIMG files),
locates every pixel on the earth, remaps it onto a map projection,
colours it through an enhancement and draws coastlines, a latitude/longitude
grid, a colour bar and labels, in an X11 window or as PostScript, HPGL, a
metafile, GIF, PNG or XWD.  Loops of many files are shown frame by frame or
written as animated GIF and APNG.
.
The package holds the program, zyrproc (one frame's image processing without
graphics), the colour tables, enhancements, regions, fonts and map databases.")
set(CPACK_STRIP_FILES ON)
# Debian expects compressed manual pages and changelog; a plain cmake
# --install keeps them as they are.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/gzip-docs.cmake)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZYR_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The netCDF and TIFF libraries are loaded by name when a GOES-R or TIFF
# file is read (or a GeoTIFF written), so dpkg-shlibdeps does not see them:
# their packages (Debian names a library package after its soname,
# libnetcdf.so.19 -> libnetcdf19, libtiff.so.6 -> libtiff6) are stated here.
set(loaded_packages "")
foreach(soname IN ITEMS ${ZYR_NETCDF_SONAME} ${ZYR_TIFF_SONAME})
  string(REGEX REPLACE "^(.*)\\.so\\.([0-9]+)$" "\\1\\2" package "${soname}")
  list(APPEND loaded_packages ${package})
endforeach()
list(JOIN loaded_packages ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
# ghostscript renders PostScript pages; the program itself never needs it.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ghostscript")

include(CPack)
