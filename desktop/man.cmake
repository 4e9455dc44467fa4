# Writes the manual page OUT from the usage text the built PROGRAM prints
# for --help, so every option it lists is in the page too.
#   cmake -DPROGRAM=... -DOUT=... -DVERSION=... -DHELPFILE=... -P man.cmake
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE usage RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed: ${rc}")
endif()

# roff text: backslashes, minus signs, and a dot or quote at a line start.
function(roff text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  if(text MATCHES "^[.']")
    set(text "\\&${text}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(page "'\\\" -*- coding: utf-8 -*-\n.TH BREVAN 1 \"\" \"Brevan ${VERSION}\" \"Felhasználói parancsok\"\n")
string(APPEND page ".SH NÉV\nbrevan \\- a Primo Z80\\-as házi számítógépek emulátora\n")
string(APPEND page ".SH LEÍRÁS\nA Brevan a Primo A32, A48, A64, B32, B48, B64, C64 és CP/M\\-es gépeket "
                   "emulálja ablakban, hanggal, magnóval, lemezegységekkel, nyomtatóval és botkormánnyal; "
                   "ablak nélkül is futtatható szkriptekből. A menük és a billentyűk leírása a "
                   "Segítség menüben és az Olvassel.txt állományban olvasható.\n")

# Line by line, by hand: a CMake list would read brackets and semicolons.
set(in_synopsis FALSE)
set(after_blank TRUE)
set(rest "${usage}")
while(NOT rest STREQUAL "")
  string(FIND "${rest}" "\n" end)
  if(end LESS 0)
    set(line "${rest}")
    set(rest "")
  else()
    string(SUBSTRING "${rest}" 0 ${end} line)
    math(EXPR end "${end} + 1")
    string(SUBSTRING "${rest}" ${end} -1 rest)
  endif()
  if(line MATCHES "^Részletes leírás|^A részletes leírás")
    continue()   # a path of this build, not of the installed program
  endif()
  if(line STREQUAL "")
    if(in_synopsis)
      string(APPEND page ".fi\n")
      set(in_synopsis FALSE)
    endif()
    string(APPEND page ".PP\n")
  elseif(line STREQUAL "Használat:")
    string(APPEND page ".SH ÁTTEKINTÉS\n.nf\n")
    set(in_synopsis TRUE)
  elseif(in_synopsis)
    string(SUBSTRING "${line}" 2 -1 line)   # the usage text's own indent
    roff("${line}" line)
    string(APPEND page "${line}\n")
  elseif(after_blank AND line MATCHES "^[^ ].*:$")
    # A heading opens a block after an empty line.
    string(REGEX REPLACE ":$" "" heading "${line}")
    roff("${heading}" heading)
    string(APPEND page ".SH \"${heading}\"\n")
  elseif(line MATCHES "^  ([^ ]+( [^ ]+)*)  +([^ ].*)$")
    # An option: its words, two or more spaces, what it does.
    set(term "${CMAKE_MATCH_1}")
    set(text "${CMAKE_MATCH_3}")
    roff("${term}" term)
    roff("${text}" text)
    string(APPEND page ".TP\n\\fB${term}\\fR\n${text}\n")
  else()
    string(STRIP "${line}" line)
    roff("${line}" line)
    string(APPEND page "${line}\n")
  endif()
  if(line STREQUAL "")
    set(after_blank TRUE)
  else()
    set(after_blank FALSE)
  endif()
endwhile()
if(in_synopsis)
  string(APPEND page ".fi\n")
endif()

string(APPEND page ".SH ÁLLOMÁNYOK\n"
  ".TP\n\\fI~/.config/Emulators/Brevan.ini\\fR\na beállítások\n"
  ".TP\n\\fI~/.local/share/brevan/roms/\\fR\neredeti ROM\\-állományok (a64.rom, b64.rom, c64.rom, cpm\\-boot.rom, cpm\\-bios.rom)\n"
  ".TP\n\\fI~/.local/share/brevan/printer.txt\\fR\na nyomtató kimenete\n"
  ".TP\n\\fI${HELPFILE}\\fR\na részletes leírás\n")
file(WRITE ${OUT} "${page}")
