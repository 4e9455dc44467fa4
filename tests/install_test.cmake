# An install into a scratch DESTDIR holds every file, the desktop tools accept
# the menu entry, the MIME types and the manual page, the installed program
# starts headlessly and finds its help text, the help text and the manual page
# name the prefix installed to, and the uninstall removes it all.
#   cmake -DBUILD=<build folder> -P install_test.cmake
set(root ${BUILD}/install_test)
set(dest ${root}/dest)
# Not the configured /usr/local: the prefix of the install must reach every path.
set(prefix /usr)
file(REMOVE_RECURSE ${root})
file(MAKE_DIRECTORY ${root}/home)

function(run_ok)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed (${rc}):\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

# Its own component, so the manifest of a real `make install` stays as it was.
run_ok(${CMAKE_COMMAND} -E env DESTDIR=${dest} ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix} --component brevan)
set(share ${dest}${prefix}/share)
set(installed
  ${dest}${prefix}/bin/brevan
  ${share}/brevan/Olvassel.txt
  ${share}/brevan/diskdefs
  ${share}/applications/brevan.desktop
  ${share}/mime/packages/brevan.xml
  ${share}/icons/hicolor/scalable/apps/brevan.svg
  ${share}/icons/hicolor/256x256/apps/brevan.png
  ${share}/man/man1/brevan.1
  ${share}/doc/brevan/LICENSE)
foreach(f IN LISTS installed)
  if(NOT EXISTS ${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

foreach(f ${share}/brevan/Olvassel.txt ${share}/man/man1/brevan.1)
  file(READ ${f} text)
  string(FIND "${text}" "/usr/local/share" wrong)
  string(FIND "${text}" "${prefix}/share/brevan/" right)
  if(NOT wrong EQUAL -1 OR right EQUAL -1)
    message(FATAL_ERROR "${f} does not name ${prefix}/share/brevan")
  endif()
endforeach()

# The menu entry: valid, and a file manager hands it the file to start.
find_program(VALIDATE desktop-file-validate REQUIRED)
run_ok(${VALIDATE} ${share}/applications/brevan.desktop)
if(NOT "${out}${err}" STREQUAL "")
  message(FATAL_ERROR "desktop-file-validate:\n${out}${err}")
endif()
file(STRINGS ${share}/applications/brevan.desktop exec REGEX "^Exec=")
if(NOT exec STREQUAL "Exec=brevan %f")
  message(FATAL_ERROR "the entry must pass the file on: ${exec}")
endif()

# The MIME types: the database builds one type per Primo file kind.
find_program(UPDATE_MIME update-mime-database REQUIRED)
file(COPY ${share}/mime DESTINATION ${root})
run_ok(${UPDATE_MIME} ${root}/mime)
foreach(type ptp pri pp pss)
  if(NOT EXISTS ${root}/mime/application/x-primo-${type}.xml)
    message(FATAL_ERROR "no MIME type for .${type}")
  endif()
endforeach()

# The installed program, with a home of its own: it runs and finds its help.
set(environment HOME=${root}/home XDG_CONFIG_HOME=${root}/home/config XDG_DATA_HOME=${root}/home/data
    QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy)
run_ok(${CMAKE_COMMAND} -E env ${environment} ${dest}${prefix}/bin/brevan --help)
set(usage "${out}")
string(FIND "${usage}" "Részletes leírás: ${share}/brevan/Olvassel.txt" found)
if(found EQUAL -1)
  message(FATAL_ERROR "the installed program does not find its help text:\n${usage}")
endif()
run_ok(${CMAKE_COMMAND} -E env ${environment} ${dest}${prefix}/bin/brevan --headless --frames 20
       --screenshot ${root}/shot.png)
if(NOT EXISTS ${root}/shot.png)
  message(FATAL_ERROR "the installed program left no picture")
endif()

# The manual page: clean for groff, and every option of --help is in it.
find_program(GROFF groff REQUIRED)
run_ok(${GROFF} -k -man -Tutf8 -ww -z ${share}/man/man1/brevan.1)
if(NOT "${err}" STREQUAL "")
  message(FATAL_ERROR "groff warns about the manual page:\n${err}")
endif()
file(READ ${share}/man/man1/brevan.1 page)
string(REPLACE "\\-" "-" page "${page}")
string(REGEX MATCHALL "--[a-z][a-z-]*" options "${usage}")
list(REMOVE_DUPLICATES options)
foreach(option IN LISTS options)
  string(FIND "${page}" "${option}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "${option} is missing from the manual page")
  endif()
endforeach()

# Uninstalling leaves none of it.
run_ok(${CMAKE_COMMAND} -E env DESTDIR=${dest} ${CMAKE_COMMAND} -DMANIFEST=${BUILD}/install_manifest_brevan.txt
       -P ${CMAKE_CURRENT_LIST_DIR}/../desktop/uninstall.cmake)
foreach(f IN LISTS installed)
  if(EXISTS ${f})
    message(FATAL_ERROR "left after uninstall: ${f}")
  endif()
endforeach()
file(REMOVE_RECURSE ${root})
