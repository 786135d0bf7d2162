# The program reads its data by relative path; the build assembles a working directory
# (build/run) holding the cascades, the models and, when the face data is at hand, the
# foreign-face base.
set(VISAGIO_CASCADE_DIR "/usr/share/opencv4/haarcascades" CACHE PATH "Debian opencv-data cascades")
# haarcascade_frontalface_alt2 found the most faces at the detector's fixed parameters
# (scale 1.2, 3 neighbours, Canny pruning, 90 px minimum); see the README.
set(VISAGIO_FACE_CASCADE "haarcascade_frontalface_alt2.xml" CACHE STRING "Face cascade installed as haarcascade.xml")
set(VISAGIO_RUN_DIR "${CMAKE_BINARY_DIR}/run")

foreach(cascade "${VISAGIO_FACE_CASCADE}" "haarcascade_eye_tree_eyeglasses.xml" "haarcascade_eye.xml")
    if(NOT EXISTS "${VISAGIO_CASCADE_DIR}/${cascade}")
        message(FATAL_ERROR "Cascade ${VISAGIO_CASCADE_DIR}/${cascade} is missing: install opencv-data")
    endif()
endforeach()

set(_model "${CMAKE_SOURCE_DIR}/data/model/glasgow-45x35/200/100-res.grbm")
set(_resnet "${CMAKE_SOURCE_DIR}/data/models/face-resnet")
set(_landmarks "${CMAKE_SOURCE_DIR}/data/models/face-landmarks")
add_custom_target(visagio_rundir ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory "${VISAGIO_RUN_DIR}/haarcascades"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "${VISAGIO_CASCADE_DIR}/${VISAGIO_FACE_CASCADE}"
            "${VISAGIO_RUN_DIR}/haarcascades/haarcascade.xml"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "${VISAGIO_CASCADE_DIR}/haarcascade_eye_tree_eyeglasses.xml"
            "${VISAGIO_CASCADE_DIR}/haarcascade_eye.xml" "${VISAGIO_RUN_DIR}/haarcascades/"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${VISAGIO_RUN_DIR}/face-resnet"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "${_resnet}/face_recognition_model-weights_manifest.json"
            "${_resnet}/face_recognition_model.bin" "${_resnet}/face_recognition_model.calibration"
            "${_resnet}/LICENSE" "${VISAGIO_RUN_DIR}/face-resnet/"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${VISAGIO_RUN_DIR}/face-landmarks"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "${_landmarks}/face_landmark_68_model-weights_manifest.json"
            "${_landmarks}/face_landmark_68_model.bin" "${_landmarks}/README.md" "${_resnet}/LICENSE"
            "${VISAGIO_RUN_DIR}/face-landmarks/"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${VISAGIO_RUN_DIR}/liveness"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "${CMAKE_SOURCE_DIR}/data/models/liveness/liveness.model"
            "${VISAGIO_RUN_DIR}/liveness/"
    COMMAND ${CMAKE_COMMAND} -DMODEL=${_model} -DRUN_DIR=${VISAGIO_RUN_DIR}
            -P "${CMAKE_SOURCE_DIR}/cmake/CopyModel.cmake"
    COMMENT "Assembling the run directory ${VISAGIO_RUN_DIR}")
