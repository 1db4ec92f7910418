# Runs ${DIR}/${NAME}.nut with ${SQ} and fails on any difference from the expected files.
# The script gets an empty scratch directory in SQ_TEST_TMP and must leave it empty.
# With IMAGE set, the script is first compiled to a bytecode image (sq -c) and the image
# runs instead: it must behave exactly like the source. With LIMIT set, the script runs
# with its address space capped at LIMIT KiB.
file(REMOVE_RECURSE ${TMP})
file(MAKE_DIRECTORY ${TMP})
set(program ${NAME}.nut)
if(IMAGE)
  execute_process(COMMAND ${SQ} -c -o ${TMP}.cnut ${NAME}.nut
    WORKING_DIRECTORY ${DIR} RESULT_VARIABLE crc OUTPUT_VARIABLE cout ERROR_VARIABLE cerr)
  if(NOT crc EQUAL 0)
    message(FATAL_ERROR "${NAME}: compiling to an image failed (${crc}): ${cout}${cerr}")
  endif()
  set(program ${TMP}.cnut)
endif()
set(launch ${SQ})
if(LIMIT)
  set(launch sh -c "ulimit -v ${LIMIT} && exec \"$0\" \"$@\"" ${SQ})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env SQ_TEST_TMP=${TMP} ${launch} ${program} arg1 arg2
  WORKING_DIRECTORY ${DIR}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
file(REMOVE ${TMP}.cnut)

file(GLOB left_behind ${TMP}/*)
file(REMOVE_RECURSE ${TMP})
if(left_behind)
  message(FATAL_ERROR "${NAME}: left files in its scratch directory: ${left_behind}")
endif()

function(expect_same what actual file)
  file(READ ${file} expected)
  if(NOT actual STREQUAL expected)
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
