# Copies the shipped feature model and its calibration into the run directory when the
# repository has them.
foreach(file "${MODEL}" "${MODEL}.calibration")
    if(EXISTS "${file}")
        get_filename_component(name "${file}" NAME)
        file(MAKE_DIRECTORY "${RUN_DIR}/glasgow-45x35/200")
        file(COPY_FILE "${file}" "${RUN_DIR}/glasgow-45x35/200/${name}" ONLY_IF_DIFFERENT)
    endif()
endforeach()
