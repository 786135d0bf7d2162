# Copies the shipped feature model into the run directory when the repository has one.
if(EXISTS "${MODEL}")
    file(MAKE_DIRECTORY "${RUN_DIR}/glasgow-45x35/200")
    file(COPY_FILE "${MODEL}" "${RUN_DIR}/glasgow-45x35/200/100-res.grbm" ONLY_IF_DIFFERENT)
endif()
