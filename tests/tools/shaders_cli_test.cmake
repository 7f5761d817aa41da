# Runs demokit shaders as a user would: the stored programs' bytecode files
# and decoded text, program files that assemble or not, and bad arguments.
# Called by CTest with -DDEMOKIT=<tool> -DWORK_DIR=<scratch>.

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

# expected_code "fail" means non-zero with exactly one line on stderr.
function(run_shaders out_var err_var expected_code)
  execute_process(COMMAND "${DEMOKIT}" shaders ${ARGN}
    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(expected_code STREQUAL "fail")
    string(STRIP "${err}" stripped)
    if(code EQUAL 0 OR stripped STREQUAL "" OR stripped MATCHES "\n")
      message(FATAL_ERROR "shaders ${ARGN}: expected a failure with one stderr line, got ${code}: '${err}'")
    endif()
  elseif(NOT code EQUAL expected_code)
    message(FATAL_ERROR "shaders ${ARGN}: exit code ${code}, expected ${expected_code}, stderr: ${err}")
  endif()
  set(${out_var} "${out}" PARENT_SCOPE)
  set(${err_var} "${err}" PARENT_SCOPE)
endfunction()

function(expect_text text fragment what)
  string(FIND "${text}" "${fragment}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${what} lacks '${fragment}': ${text}")
  endif()
endfunction()

# A bytecode file: its size, and its first and last tokens as little-endian
# bytes in hex.
function(expect_code path size first_hex last_hex)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "${path} was not written")
  endif()
  file(SIZE "${path}" found)
  if(NOT found EQUAL size)
    message(FATAL_ERROR "${path}: ${found} bytes, expected ${size}")
  endif()
  file(READ "${path}" hex HEX)
  string(SUBSTRING "${hex}" 0 8 first)
  math(EXPR last_at "${size} * 2 - 8")
  string(SUBSTRING "${hex}" ${last_at} 8 last)
  if(NOT first STREQUAL first_hex OR NOT last STREQUAL last_hex)
    message(FATAL_ERROR "${path}: first token ${first}, last ${last}; expected ${first_hex} and ${last_hex}")
  endif()
endfunction()

run_shaders(help ignored 0 --help)
expect_text("${help}" "usage: demokit shaders" "shaders --help")
execute_process(COMMAND "${DEMOKIT}" --help OUTPUT_VARIABLE tool_help)
expect_text("${tool_help}" "  shaders " "demokit --help")

# The stored programs as files: vs_2_0 and ps_2_0 version tokens, the end
# token last; the folder is made.
run_shaders(out ignored 0 --out "${WORK_DIR}/code/new")
expect_code("${WORK_DIR}/code/new/vs.bin" 456 0002feff ffff0000)
expect_code("${WORK_DIR}/code/new/ps.bin" 324 0002ffff ffff0000)
expect_text("${out}" "vs.bin (456 bytes)\n" "--out output")
expect_text("${out}" "ps.bin (324 bytes)\n" "--out output")
if(out MATCHES "program \\(")
  message(FATAL_ERROR "--out alone printed a disassembly: ${out}")
endif()

# Decoded text, alone and together with --out.
run_shaders(text ignored 0 --disassemble)
foreach(fragment "vertex program (456 bytes):\nvs_2_0\n" "pixel program (324 bytes):\nps_2_0\n"
                 "\nm4x4 oPos, v0, c0\n" "\ntexld r0, t0, s0\n" "\ndp3_sat r1, r3, r7\n")
  expect_text("${text}" "${fragment}" "--disassemble output")
endforeach()
run_shaders(both ignored 0 --disassemble --out "${WORK_DIR}/both")
expect_code("${WORK_DIR}/both/vs.bin" 456 0002feff ffff0000)
expect_text("${both}" "wrote " "--disassemble --out output")
expect_text("${both}" "\ntexld r0, t0, s0\n" "--disassemble --out output")

# The decoded vertex program, assembled again from a file, is the same
# program: same size, same text.
string(FIND "${text}" "vertex program (456 bytes):\n" vertex_at)
string(FIND "${text}" "\n\npixel program" pixel_at)
math(EXPR vertex_start "${vertex_at} + 28")
math(EXPR vertex_length "${pixel_at} + 1 - ${vertex_start}")
string(SUBSTRING "${text}" ${vertex_start} ${vertex_length} vertex_text)
file(WRITE "${WORK_DIR}/vertex.txt" "${vertex_text}")
run_shaders(again ignored 0 "${WORK_DIR}/vertex.txt")
if(NOT again STREQUAL "vertex program (456 bytes):\n${vertex_text}")
  message(FATAL_ERROR "the decoded vertex program did not assemble back to itself:\n${again}")
endif()

# A small pixel program file, written with comments and odd case; printed
# in the assembler's own syntax.
file(WRITE "${WORK_DIR}/small.txt" "PS_2_0 // version\ndcl_2d s0\ndcl t0.xy\nTEXLD r0, t0, s0 ; sample\nmov oC0, r0")
run_shaders(small ignored 0 "${WORK_DIR}/small.txt")
expect_text("${small}" "pixel program (" "small program output")
expect_text("${small}" "ps_2_0\ndcl_2d s0\ndcl t0.xy\ntexld r0, t0, s0\nmov oC0, r0\n" "small program output")

# A program that does not assemble: the assembler's errors, exit code 1.
file(WRITE "${WORK_DIR}/bad.txt" "vs_2_0\nmov r0, q7\n")
run_shaders(out err 1 "${WORK_DIR}/bad.txt")
expect_text("${err}" "line 2" "bad program stderr")
if(NOT out STREQUAL "")
  message(FATAL_ERROR "a bad program printed to stdout: ${out}")
endif()
file(WRITE "${WORK_DIR}/two-bad.txt" "vs_2_0\nfoo r0\nmov r0, v0\nmov r1, q9\n")
run_shaders(ignored err 1 "${WORK_DIR}/two-bad.txt")
expect_text("${err}" "line 2" "two-error stderr")
expect_text("${err}" "line 4" "two-error stderr")

# Files that cannot be used: one line on stderr, exit code 1. Among them a
# program of 100,000 lines, under the size limit, that the assembler refuses.
string(REPEAT "; padding line of a program file that is far too long\n" 20000 huge)
file(WRITE "${WORK_DIR}/huge.txt" "vs_2_0\n${huge}")
string(REPEAT "nop\n" 100000 long)
file(WRITE "${WORK_DIR}/long.txt" "vs_2_0\n${long}")
foreach(path "${WORK_DIR}/missing.txt" "${WORK_DIR}" "${WORK_DIR}/huge.txt" "${WORK_DIR}/long.txt")
  execute_process(COMMAND "${DEMOKIT}" shaders "${path}" RESULT_VARIABLE code ERROR_VARIABLE err)
  string(STRIP "${err}" err)
  if(NOT code EQUAL 1 OR err STREQUAL "" OR err MATCHES "\n")
    message(FATAL_ERROR "shaders ${path}: expected exit code 1 and one stderr line, got ${code}: '${err}'")
  endif()
endforeach()

# Bad arguments: usage errors, exit code 2.
foreach(args "" "--bogus" "--out" "--disassemble;--what" "a.txt;b.txt" "${WORK_DIR}/bad.txt;--out;${WORK_DIR}/x")
  execute_process(COMMAND "${DEMOKIT}" shaders ${args} RESULT_VARIABLE code ERROR_VARIABLE err)
  string(STRIP "${err}" err)
  if(NOT code EQUAL 2 OR err STREQUAL "" OR err MATCHES "\n")
    message(FATAL_ERROR "shaders ${args}: expected exit code 2 and one stderr line, got ${code}: '${err}'")
  endif()
endforeach()
run_shaders(ignored err 2)
expect_text("${err}" "required" "no-argument stderr")

# A folder that cannot be made.
file(WRITE "${WORK_DIR}/plain-file" "x")
run_shaders(ignored ignored fail --out "${WORK_DIR}/plain-file")
