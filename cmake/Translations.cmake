# The window's English translation: lrelease turns translations/visagio_en.ts into a .qm file at
# build time, and the resource file below compiles it into the program as ":/i18n/visagio_en.qm".
# The Russian texts are the sources themselves. After changing a window text, refresh the .ts
# with `cmake --build build --target visagio-lupdate` and translate the new entries.
find_package(Qt5LinguistTools 5.15 REQUIRED)

set(VISAGIO_TS "${CMAKE_SOURCE_DIR}/translations/visagio_en.ts")
qt5_add_translation(_visagio_qm "${VISAGIO_TS}")
set(_qrc "${CMAKE_BINARY_DIR}/visagio_translations.qrc")
file(CONFIGURE OUTPUT "${_qrc}" CONTENT
    "<RCC>\n  <qresource prefix=\"/i18n\">\n    <file alias=\"visagio_en.qm\">${_visagio_qm}</file>\n  </qresource>\n</RCC>\n")
qt5_add_resources(VISAGIO_TRANSLATION_SOURCES "${_qrc}")

add_custom_target(visagio-lupdate
    COMMAND Qt5::lupdate -no-obsolete -locations none -source-language ru_RU -target-language en_GB
            "${CMAKE_SOURCE_DIR}/src/gui" -ts "${VISAGIO_TS}"
    COMMENT "Refreshing ${VISAGIO_TS} from the sources")
