# `cpack -G DEB` in the build folder: a Debian package of what cmake/Install.cmake installs,
# under /usr, its version from project() and its dependencies computed by dpkg-shlibdeps from
# the shared libraries the program links (dpkg-dev). Like `cmake --install`, it stops when the
# foreign-face base cannot be prepared.
set(CPACK_PACKAGE_NAME "visagio")
set(CPACK_PACKAGE_VENDOR "The Visagio authors")
set(CPACK_PACKAGE_CONTACT "The Visagio authors <visagio@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Face-verification lock for the desktop")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Visagio watches a camera, learns its owner's face from enrolment runs and opens its lock\n"
    "for that face only. Released under the MIT licence; the foreign-face base it carries is\n"
    "made from research face sets (non-commercial research use): a package built with it is\n"
    "for the builder's own use.")
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "misc")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside the computed libraries: the face login's system user (adduser) and pam-auth-update.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, libpam-runtime")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${CMAKE_SOURCE_DIR}/data/debian/postinst"
    "${CMAKE_SOURCE_DIR}/data/debian/prerm" "${CMAKE_SOURCE_DIR}/data/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Without the face data cpack stops at once with the configure message, before it builds.
if(VISAGIO_FACEDATA_MISSING)
    set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_BINARY_DIR}/VisagioPackageStop.cmake")
    file(WRITE "${CPACK_PROJECT_CONFIG_FILE}" "message(FATAL_ERROR [=[${VISAGIO_FACEDATA_MISSING}]=])\n")
endif()
include(CPack)
