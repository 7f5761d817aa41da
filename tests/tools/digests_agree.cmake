# The generated data must not depend on how or for what the system was
# compiled: each digest program in DIGESTS must print what REFERENCE (this
# machine's build) prints, line for line. ABOUT names the comparison in the
# messages; EMULATOR, when set, runs the programs of DIGESTS (another
# processor's, or Node.js for WebAssembly). CHECK_COMMAND_LINE also checks
# that the first of them refuses a bad count.
execute_process(COMMAND ${REFERENCE} RESULT_VARIABLE code OUTPUT_VARIABLE reference)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "${REFERENCE} exited with ${code}")
endif()
string(REGEX MATCHALL "\ntime " times "${reference}")
list(LENGTH times count)
if(count LESS 200)
  message(FATAL_ERROR "only ${count} animation times in the digest")
endif()

set(index 0)
foreach(program IN LISTS DIGESTS)
  if(NOT EXISTS ${program})
    message(FATAL_ERROR "${program} is missing: build it first")
  endif()
  execute_process(COMMAND ${EMULATOR} ${program} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE error)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "${EMULATOR} ${program} exited with ${code}: ${error}")
  endif()
  if(NOT out STREQUAL reference)
    file(WRITE ${WORK_DIR}/reference.txt "${reference}")
    file(WRITE ${WORK_DIR}/digest-${index}.txt "${out}")
    message(FATAL_ERROR "${program} differs from ${REFERENCE}: see ${WORK_DIR}/digest-${index}.txt")
  endif()
  math(EXPR index "${index} + 1")
endforeach()
message(STATUS "${ABOUT}: the digests agree with the reference over ${count} animation times")

if(CHECK_COMMAND_LINE)
  list(GET DIGESTS 0 first)
  execute_process(COMMAND ${EMULATOR} ${first} 0 RESULT_VARIABLE code ERROR_VARIABLE error)
  if(NOT code EQUAL 2 OR NOT error MATCHES "TIMES must be")
    message(FATAL_ERROR "a bad count gave ${code}: ${error}")
  endif()
endif()
