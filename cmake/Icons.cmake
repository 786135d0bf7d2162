# The window's icons come from Debian's oxygen icon theme at build time and are compiled
# into the resource tree ":/data/icons/"; no icon file lives in the repository.
set(VISAGIO_ICON_THEME "/usr/share/icons/oxygen/base" CACHE PATH "Icon theme with freedesktop icon names")
set(VISAGIO_ICONS
    "actions/dialog-close:48" "actions/list-remove:48" "actions/dialog-cancel:48" "actions/edit-undo:48"
    "actions/dialog-ok-apply:48" "actions/application-exit:128" "actions/configure:48"
    "actions/document-decrypt:48" "actions/document-encrypt:48" "actions/list-add:48"
    "actions/edit-delete:48")

set(_entries "")
foreach(icon IN LISTS VISAGIO_ICONS)
    string(REPLACE ":" ";" parts "${icon}")
    list(GET parts 0 name)
    list(GET parts 1 px)
    set(source "${VISAGIO_ICON_THEME}/${px}x${px}/${name}.png")
    if(NOT EXISTS "${source}")
        message(FATAL_ERROR "Icon ${source} is missing: install oxygen-icon-theme")
    endif()
    get_filename_component(file "${name}" NAME)
    string(APPEND _entries "    <file alias=\"data/icons/${file}.png\">${source}</file>\n")
endforeach()
set(VISAGIO_ICON_QRC "${CMAKE_BINARY_DIR}/visagio_icons.qrc")
file(WRITE "${VISAGIO_ICON_QRC}.in" "<RCC>\n  <qresource prefix=\"/\">\n${_entries}  </qresource>\n</RCC>\n")
configure_file("${VISAGIO_ICON_QRC}.in" "${VISAGIO_ICON_QRC}" COPYONLY)
