# Runs demokit textures as a user would: the stored script's six PNG files,
# scaling, script files cut short or empty, and bad arguments. Called by CTest
# with -DDEMOKIT=<tool> -DWORK_DIR=<scratch>.

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

function(run_textures out_var expected_code)
  execute_process(COMMAND "${DEMOKIT}" textures ${ARGN}
    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(expected_code STREQUAL "fail")
    string(STRIP "${err}" err)
    if(code EQUAL 0 OR err STREQUAL "" OR err MATCHES "\n")
      message(FATAL_ERROR "textures ${ARGN}: expected a failure with one stderr line, got ${code}: '${err}'")
    endif()
  elseif(NOT code EQUAL expected_code)
    message(FATAL_ERROR "textures ${ARGN}: exit code ${code}, stderr: ${err}")
  endif()
  set(${out_var} "${out}" PARENT_SCOPE)
endfunction()

# The IHDR chunk follows the 8-byte signature: width and height big-endian at
# bytes 16 and 20, bit depth at 24, colour type at 25 (6 = RGBA).
function(expect_png path side_hex)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "${path} was not written")
  endif()
  file(READ "${path}" header LIMIT 26 HEX)
  string(SUBSTRING "${header}" 32 20 fields)
  if(NOT fields STREQUAL "${side_hex}${side_hex}0806")
    message(FATAL_ERROR "${path}: IHDR fields ${fields}, expected ${side_hex}${side_hex}0806")
  endif()
endfunction()

function(expect_texture_count dir count)
  file(GLOB written "${dir}/*.png")
  list(LENGTH written found)
  if(NOT found EQUAL count)
    message(FATAL_ERROR "${dir}: ${found} PNG files, expected ${count}")
  endif()
endfunction()

run_textures(help 0 --help)
if(NOT help MATCHES "usage: demokit textures")
  message(FATAL_ERROR "textures --help: no usage text")
endif()

# The stored script: six textures, one line each; the folder is made.
run_textures(out 0 --out "${WORK_DIR}/stored/new")
expect_texture_count("${WORK_DIR}/stored/new" 6)
foreach(k RANGE 5)
  expect_png("${WORK_DIR}/stored/new/tex${k}.png" 00000080)
  if(NOT out MATCHES "wrote [^\n]*tex${k}.png\n")
    message(FATAL_ERROR "no 'wrote' line for tex${k}.png in: ${out}")
  endif()
endforeach()

run_textures(ignored 0 --scale 2 --out "${WORK_DIR}/scaled")
expect_png("${WORK_DIR}/scaled/tex5.png" 00000100)

# "DdzACd" is 44 64 7A 41 43 64: Radial r 100 A 122, EndTexture, then a
# Plasma cut after its first argument: two textures, the second empty.
file(WRITE "${WORK_DIR}/cut.bin" "DdzACd")
run_textures(ignored 0 --script "${WORK_DIR}/cut.bin" --out "${WORK_DIR}/cut")
expect_texture_count("${WORK_DIR}/cut" 2)
expect_png("${WORK_DIR}/cut/tex1.png" 00000080)

file(WRITE "${WORK_DIR}/empty.bin" "")
run_textures(out 0 --script "${WORK_DIR}/empty.bin" --out "${WORK_DIR}/empty")
expect_texture_count("${WORK_DIR}/empty" 0)
if(NOT out MATCHES "no textures")
  message(FATAL_ERROR "an empty script did not say so: ${out}")
endif()

# A script that would make a million textures: refused before any work,
# with one line and exit code 3.
string(REPEAT "A" 1000000 million)
file(WRITE "${WORK_DIR}/million.bin" "${million}")
run_textures(ignored 3 --script "${WORK_DIR}/million.bin" --out "${WORK_DIR}/million")

# Bad arguments and files: one line on stderr and a non-zero exit.
file(WRITE "${WORK_DIR}/plain-file" "x")
run_textures(ignored fail)
run_textures(ignored fail --out)
run_textures(ignored fail --out "${WORK_DIR}/x" --scale 17)
run_textures(ignored fail --out "${WORK_DIR}/x" --scale two)
run_textures(ignored fail --out "${WORK_DIR}/x" --bogus)
run_textures(ignored fail --out "${WORK_DIR}/x" --script "${WORK_DIR}/missing.bin")
run_textures(ignored fail --out "${WORK_DIR}/x" --script "${WORK_DIR}")
run_textures(ignored fail --out "${WORK_DIR}/plain-file")
