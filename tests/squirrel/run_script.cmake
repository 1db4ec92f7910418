# Runs ${DIR}/${NAME}.nut with ${SQ} and fails on any difference from the expected files.
execute_process(COMMAND ${SQ} ${NAME}.nut arg1 arg2
  WORKING_DIRECTORY ${DIR}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)

function(expect_same what actual file)
  file(READ ${file} expected)
  if(NOT actual STREQUAL expected)
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/${NAME}.${what}.actual "${actual}")
    message(FATAL_ERROR "${NAME}: ${what} differs from ${file}\n--- got ---\n${actual}\n--- expected ---\n${expected}")
  endif()
endfunction()

expect_same(stdout "${out}" ${DIR}/${NAME}.out)
if(EXISTS ${DIR}/${NAME}.err)
  expect_same(stderr "${err}" ${DIR}/${NAME}.err)
elseif(NOT err STREQUAL "")
  message(FATAL_ERROR "${NAME}: unexpected standard error output:\n${err}")
endif()
set(expected_rc 0)
if(EXISTS ${DIR}/${NAME}.rc)
  file(STRINGS ${DIR}/${NAME}.rc expected_rc)
endif()
if(NOT rc EQUAL expected_rc)
  message(FATAL_ERROR "${NAME}: exit status ${rc}, expected ${expected_rc}")
endif()
