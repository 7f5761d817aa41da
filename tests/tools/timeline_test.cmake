# The program's own WinMain over the whole timeline, 0 to 82,000 ms, headless:
# every one of its 4,921 frames runs the program's code, and every
# twentieth (3 a second) gets its pixel work and is written out, small.
# Under the sanitizer build this is the whole program under
# AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer (at exit):
# any report ends demokit with a non-zero code.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${DEMOKIT} record --from 0 --to 82000 --fps 3 --size 256x192 --out ${WORK_DIR}
                RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE error)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "the whole-timeline run ended with ${code}: ${error}")
endif()
file(GLOB frames ${WORK_DIR}/*.png)
list(LENGTH frames count)
if(count LESS 247)
  message(FATAL_ERROR "only ${count} frames of the 247 the timeline has at 3 a second")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
message(STATUS "${count} frames rendered over the whole timeline: ${out}")
