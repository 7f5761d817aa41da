# Runs demokit record and bench as a user would: one frame at an exact time,
# the same frame twice (identical bytes), a scaled PNG sequence, the bench
# report, and bad arguments. Called by CTest with -DDEMOKIT=<tool>
# -DWORK_DIR=<scratch>.

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

function(run_demokit out_var expected_code)
  execute_process(COMMAND "${DEMOKIT}" ${ARGN}
    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT code EQUAL expected_code)
    message(FATAL_ERROR "demokit ${ARGN}: exit code ${code} (expected ${expected_code}), stderr: ${err}")
  endif()
  if(NOT expected_code EQUAL 0)
    string(STRIP "${err}" err)
    if(err STREQUAL "" OR err MATCHES "\n")
      message(FATAL_ERROR "demokit ${ARGN}: expected one line on stderr, got '${err}'")
    endif()
  endif()
  set(${out_var} "${out}" PARENT_SCOPE)
endfunction()

# Width and height from the IHDR chunk, big-endian at bytes 16 and 20.
function(expect_png_size path width_hex height_hex)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "${path} was not written")
  endif()
  file(READ "${path}" header LIMIT 24 HEX)
  string(SUBSTRING "${header}" 32 16 fields)
  if(NOT fields STREQUAL "${width_hex}${height_hex}")
    message(FATAL_ERROR "${path}: size fields ${fields}, expected ${width_hex}${height_hex}")
  endif()
endfunction()

# One frame, twice: the software device is deterministic to the byte.
run_demokit(out 0 record --at 1000 --out "${WORK_DIR}/a.png")
if(NOT out MATCHES "wrote 1 frame of 1024 x 768 to .*a.png: [0-9]+ kB in")
  message(FATAL_ERROR "record --at: unexpected output '${out}'")
endif()
expect_png_size("${WORK_DIR}/a.png" 00000400 00000300)
run_demokit(out 0 record --at 1000 --out "${WORK_DIR}/b.png")
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${WORK_DIR}/a.png" "${WORK_DIR}/b.png"
  RESULT_VARIABLE different)
if(different)
  message(FATAL_ERROR "two recordings of the frame at 1000 ms differ")
endif()
# Without multisampling the picture is another one.
run_demokit(out 0 record --at 1000 --no-multisample --out "${WORK_DIR}/c.png")
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${WORK_DIR}/a.png" "${WORK_DIR}/c.png"
  RESULT_VARIABLE different)
if(NOT different)
  message(FATAL_ERROR "the frame without multisampling equals the one with it")
endif()

# A short range at 20 frames a second, scaled: 0, 50, 100 and 150 ms.
run_demokit(out 0 record --from 0 --to 150 --fps 20 --size 256x192 --out "${WORK_DIR}/seq")
file(GLOB frames "${WORK_DIR}/seq/*.png")
list(LENGTH frames count)
if(NOT count EQUAL 4)
  message(FATAL_ERROR "record range: ${count} frames, expected 4")
endif()
expect_png_size("${WORK_DIR}/seq/frame_000003.png" 00000100 000000c0)

run_demokit(out 0 bench --from 0 --to 100 --json)
foreach(key device frames startupMs fpsMedian frameMsP1 frameMsP99)
  if(NOT out MATCHES "\"${key}\":")
    message(FATAL_ERROR "bench --json lacks ${key}: ${out}")
  endif()
endforeach()
if(NOT out MATCHES "\"frames\":7,")
  message(FATAL_ERROR "bench 0 to 100 ms should measure 7 frames at 60 Hz: ${out}")
endif()

# The device measured at a capture's size: the frame around the 720p band.
run_demokit(out 0 bench --from 0 --to 50 --size 720p --json)
if(NOT out MATCHES "\"width\":1152," OR NOT out MATCHES "\"height\":864,")
  message(FATAL_ERROR "bench --size 720p should draw 1152 x 864: ${out}")
endif()

run_demokit(out 0 record --help)
run_demokit(out 0 bench --help)
run_demokit(out 2 record --at 10 --from 0)
run_demokit(out 2 record --from 0 --to 10)
run_demokit(out 2 record --at 10 --size 10x10)
run_demokit(out 2 bench --device quantum)
run_demokit(out 2 bench --from 50 --to 10)
run_demokit(out 2 record --at 10 --fps 0)
