# pam_visagio.so: plain C, linking libpam and libsystemd only, exporting the two pam_sm_ entry
# points. pam_visagio_test is the same source with the test build's arguments (check=, sealdir=,
# ...); it is never installed and carries the VISAGIO-TEST-BUILD marker.

find_package(PkgConfig REQUIRED)
pkg_check_modules(VISAGIO_PAM_DEPS REQUIRED IMPORTED_TARGET pam libsystemd)

set(VISAGIO_CHECK_PATH "/usr/bin/visagio-check" CACHE FILEPATH
    "The check the PAM module runs (the installed one whatever the prefix)")

set(VISAGIO_PAM_SOURCES
    src/pam/caller.c src/pam/caller.h
    src/pam/clock.c src/pam/clock.h
    src/pam/intermediate.c src/pam/intermediate.h
    src/pam/launch.c src/pam/launch.h
    src/pam/module.c
    src/pam/options.c src/pam/options.h
    src/pam/origin.c src/pam/origin.h
    src/pam/outcome.c src/pam/outcome.h
    src/pam/report.h
    src/pam/seal.c src/pam/seal.h
    src/pam/spawn.c src/pam/spawn.h
    src/pam/target.c src/pam/target.h
    src/pam/tries.c src/pam/tries.h)

foreach(module pam_visagio pam_visagio_test)
    add_library(${module} MODULE ${VISAGIO_PAM_SOURCES})
    set_target_properties(${module} PROPERTIES PREFIX "" C_STANDARD 11 C_STANDARD_REQUIRED ON
        C_EXTENSIONS ON C_VISIBILITY_PRESET hidden)
    target_compile_options(${module} PRIVATE -Wall -Wextra)
    target_compile_definitions(${module} PRIVATE _GNU_SOURCE
        VISAGIO_CHECK_PATH="${VISAGIO_CHECK_PATH}")
    target_link_libraries(${module} PRIVATE PkgConfig::VISAGIO_PAM_DEPS)
    target_link_options(${module} PRIVATE -Wl,--no-undefined)
endforeach()
target_compile_definitions(pam_visagio_test PRIVATE VISAGIO_PAM_TESTING)

install(TARGETS pam_visagio LIBRARY DESTINATION "lib/${CMAKE_LIBRARY_ARCHITECTURE}/security")

# The module's Russian message, compiled at build time.
find_program(VISAGIO_MSGFMT msgfmt REQUIRED)
set(VISAGIO_PAM_MO "${CMAKE_BINARY_DIR}/pam/ru/visagio.mo")
add_custom_command(OUTPUT "${VISAGIO_PAM_MO}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/pam/ru"
    COMMAND "${VISAGIO_MSGFMT}" --check -o "${VISAGIO_PAM_MO}" "${CMAKE_SOURCE_DIR}/src/pam/ru.po"
    DEPENDS "${CMAKE_SOURCE_DIR}/src/pam/ru.po" VERBATIM)
add_custom_target(pam_visagio_messages ALL DEPENDS "${VISAGIO_PAM_MO}")
install(FILES "${VISAGIO_PAM_MO}" DESTINATION "${CMAKE_INSTALL_LOCALEDIR}/ru/LC_MESSAGES")
