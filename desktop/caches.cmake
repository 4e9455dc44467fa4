# Lets the desktop see installed or removed MIME types, entries and icons.
# PREFIX is the installation prefix; tools that are missing are skipped.
find_program(UPDATE_MIME update-mime-database)
find_program(UPDATE_DESKTOP update-desktop-database)
find_program(UPDATE_ICONS gtk-update-icon-cache)
if(UPDATE_MIME AND EXISTS "${PREFIX}/share/mime/packages")
  execute_process(COMMAND ${UPDATE_MIME} "${PREFIX}/share/mime")
endif()
if(UPDATE_DESKTOP AND EXISTS "${PREFIX}/share/applications")
  execute_process(COMMAND ${UPDATE_DESKTOP} -q "${PREFIX}/share/applications")
endif()
if(UPDATE_ICONS AND EXISTS "${PREFIX}/share/icons/hicolor/index.theme")
  execute_process(COMMAND ${UPDATE_ICONS} -q -t -f "${PREFIX}/share/icons/hicolor")
endif()
