# The generated data must not depend on the optimisation level: the digest
# of the system compiled at -O0 (the reference), at the build's own level
# and at -O3 must be the same, line for line. Also checks the digest's
# command line.
foreach(program REFERENCE BUILT O3)
  execute_process(COMMAND ${${program}} RESULT_VARIABLE code OUTPUT_VARIABLE out_${program})
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "${${program}} exited with ${code}")
  endif()
endforeach()
string(REGEX MATCHALL "\ntime " times "${out_REFERENCE}")
list(LENGTH times count)
if(count LESS 200)
  message(FATAL_ERROR "only ${count} animation times in the digest")
endif()
foreach(program BUILT O3)
  if(NOT out_${program} STREQUAL out_REFERENCE)
    file(WRITE ${WORK_DIR}/reference.txt "${out_REFERENCE}")
    file(WRITE ${WORK_DIR}/${program}.txt "${out_${program}}")
    message(FATAL_ERROR "${${program}} differs from the -O0 reference: see ${WORK_DIR}")
  endif()
endforeach()
message(STATUS "the -O0, build and -O3 digests agree over ${count} animation times")

execute_process(COMMAND ${BUILT} 0 RESULT_VARIABLE code ERROR_VARIABLE error)
if(NOT code EQUAL 2 OR NOT error MATCHES "TIMES must be")
  message(FATAL_ERROR "a bad count gave ${code}: ${error}")
endif()
