# When the shared face data is at hand, the build prepares what the program and its
# end-to-end tests read from it: the foreign-face base in the run directory and the demo
# videos (camera stand-in and video test) in build/demo. Both are made by our own
# facedata-prep and re-made only when that tool changes.
set(VISAGIO_DEMO_DIR "${CMAKE_BINARY_DIR}/demo")
# A second build (the sanitizer build) can take both from a build that already made them, so
# the data is prepared once: VISAGIO_PREPARED_FROM names that build's folder.
set(VISAGIO_PREPARED_FROM "" CACHE PATH "Build folder whose run/foreignfaces and demo/ are reused")
if(VISAGIO_PREPARED_FROM AND EXISTS "${VISAGIO_PREPARED_FROM}/run/foreignfaces/all/feret/coords.txt"
   AND EXISTS "${VISAGIO_PREPARED_FROM}/demo/owner-enrol.avi")
    add_custom_target(visagio_facedata ALL
        COMMAND ${CMAKE_COMMAND} -E copy_directory "${VISAGIO_PREPARED_FROM}/run/foreignfaces"
                "${VISAGIO_RUN_DIR}/foreignfaces"
        COMMAND ${CMAKE_COMMAND} -E copy_directory "${VISAGIO_PREPARED_FROM}/demo" "${VISAGIO_DEMO_DIR}"
        DEPENDS visagio_rundir
        COMMENT "Copying the foreign-face base and the demo videos from ${VISAGIO_PREPARED_FROM}")
elseif(EXISTS "${VISAGIO_FACEDATA}/INVENTORY.md" AND TARGET facedata-prep)
    set(_foreign_stamp "${VISAGIO_RUN_DIR}/foreignfaces/all/feret/coords.txt")
    add_custom_command(OUTPUT "${_foreign_stamp}"
        COMMAND facedata-prep foreign --facedata "${VISAGIO_FACEDATA}" --out "${VISAGIO_RUN_DIR}"
        WORKING_DIRECTORY "${VISAGIO_RUN_DIR}"
        DEPENDS facedata-prep visagio_rundir
        COMMENT "Preparing the foreign-face base in ${VISAGIO_RUN_DIR}/foreignfaces")
    set(_demo_stamp "${VISAGIO_DEMO_DIR}/owner-enrol.avi")
    add_custom_command(OUTPUT "${_demo_stamp}"
        COMMAND facedata-prep demo --facedata "${VISAGIO_FACEDATA}" --out "${VISAGIO_DEMO_DIR}"
        WORKING_DIRECTORY "${VISAGIO_RUN_DIR}"
        DEPENDS facedata-prep visagio_rundir
        COMMENT "Preparing the demo videos in ${VISAGIO_DEMO_DIR}")
    add_custom_target(visagio_facedata ALL DEPENDS "${_foreign_stamp}" "${_demo_stamp}")
else()
    # Installing and packaging stop with the same message (cmake/Install.cmake).
    string(CONCAT VISAGIO_FACEDATA_MISSING
        "The face data is missing at ${VISAGIO_FACEDATA} (set VISAGIO_FACEDATA to its folder): "
        "the foreign-face base cannot be prepared, so the program cannot start from this build, "
        "and installing or making a package stops.")
    message(WARNING "${VISAGIO_FACEDATA_MISSING}")
endif()
