# Runs z80asm; it writes the listing and the labels to standard error, so
# they are split into NAME.lst and NAME.lbl here. Fails the build on errors.
execute_process(
  COMMAND ${Z80ASM} -l -L -I ${INC} -i ${SRC} -o ${OUT}.bin
  RESULT_VARIABLE rc
  ERROR_VARIABLE listing)
string(FIND "${listing}" "# End of file" last REVERSE)
if(last GREATER -1)
  string(FIND "${listing}" "\n" nl_after REVERSE)
  string(SUBSTRING "${listing}" ${last} -1 tail)
  string(FIND "${tail}" "\n" first_nl)
  math(EXPR cut "${last} + ${first_nl} + 1")
  string(SUBSTRING "${listing}" 0 ${cut} lst)
  string(SUBSTRING "${listing}" ${cut} -1 lbl)
else()
  set(lst "${listing}")
  set(lbl "")
endif()
file(WRITE ${OUT}.lst "${lst}")
file(WRITE ${OUT}.lbl "${lbl}")
if(NOT rc EQUAL 0 OR listing MATCHES ":[0-9]+: error:")
  string(REGEX MATCHALL "[^\n]*:[0-9]+: error:[^\n]*" errors "${listing}")
  list(JOIN errors "\n" errors)
  message(FATAL_ERROR "z80asm failed on ${SRC}:\n${errors}")
endif()
