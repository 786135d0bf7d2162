# `cmake --install` and the Debian package: the program in bin/, what it reads under
# share/visagio/ (copied from the run directory the build assembles, so the installed data is
# exactly what the tests ran on), the desktop entry, the AppStream metadata and the licence.
# The program finds share/visagio/ from its own folder (see DataFolder.h).

# The foreign-face base is part of the program: the lock's strictness is measured against it.
# Without the face data it is made from, installing and packaging stop first thing, with the
# configure message, rather than ship a program that cannot start.
if(VISAGIO_FACEDATA_MISSING)
    install(CODE "message(FATAL_ERROR [=[${VISAGIO_FACEDATA_MISSING}]=])")
endif()
set(_data "${CMAKE_INSTALL_DATADIR}/visagio")
install(TARGETS visagio visagio-check RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(DIRECTORY "${VISAGIO_RUN_DIR}/haarcascades" DESTINATION "${_data}")
# The model with its calibration side file when the repository has one.
install(DIRECTORY "${VISAGIO_RUN_DIR}/glasgow-45x35" DESTINATION "${_data}"
    FILES_MATCHING PATTERN "100-res.grbm" PATTERN "100-res.grbm.calibration")
# The face-resnet: its weights, manifest and licence as the npm package has them, and our
# calibration beside them.
install(DIRECTORY "${VISAGIO_RUN_DIR}/face-resnet" DESTINATION "${_data}")
# The 68-point landmark network: weights and manifest as the same package has them, its licence
# and our note of their origin.
install(DIRECTORY "${VISAGIO_RUN_DIR}/face-landmarks" DESTINATION "${_data}")
# The liveness check's classifier, made by tools/liveness-train.
install(DIRECTORY "${VISAGIO_RUN_DIR}/liveness" DESTINATION "${_data}")
install(DIRECTORY "${VISAGIO_RUN_DIR}/foreignfaces/all/glasgow" "${VISAGIO_RUN_DIR}/foreignfaces/all/feret"
    DESTINATION "${_data}/foreignfaces/all")

set(VISAGIO_APP_ID "org.visagio.Visagio")
install(FILES "${CMAKE_SOURCE_DIR}/data/desktop/${VISAGIO_APP_ID}.desktop"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${CMAKE_SOURCE_DIR}/data/desktop/${VISAGIO_APP_ID}.metainfo.xml"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
install(FILES "${CMAKE_SOURCE_DIR}/LICENSE" "${CMAKE_SOURCE_DIR}/README.md"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/visagio")

# The face login: its pam-auth-update profile (off until `pam-auth-update --enable visagio`) and
# the folder of its counts of failed checks, made at boot. The module itself: cmake/Pam.cmake.
install(FILES "${CMAKE_SOURCE_DIR}/data/pam/visagio" DESTINATION "${CMAKE_INSTALL_DATADIR}/pam-configs")
install(FILES "${CMAKE_SOURCE_DIR}/data/pam/visagio.conf" DESTINATION "lib/tmpfiles.d")
