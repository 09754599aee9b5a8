# Runs talmiro-cli compile on sources written into WORK and checks exit codes, messages and tables.
# Arguments: CLI (the executable), CASE, WORK (a scratch directory).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/std ${WORK}/elsewhere ${WORK}/other)

set(sdf "SEGMENTS\nSEGMENT 'UNH' FIELD '0062' ALNUM (1:14); END;\nSEGMENT 'UNT' FIELD '0074' NUMERIC (1:6); END;\nEND;\n")
set(mdf "MESSAGE 'ORDERS' IDENTIFICATION 65 = 'ORDERS' SEGMENTS 'D96A';\nSTRUCTURE\nSEGMENT 'UNH' MANDATORY (1);\nSEGMENT 'UNT' MANDATORY (1);\nEND;\n")

function(run_cli expected_code)
  execute_process(COMMAND ${CLI} compile ${ARGN} WORKING_DIRECTORY ${WORK}/elsewhere
    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT code EQUAL expected_code)
    message(FATAL_ERROR "compile ${ARGN}: exit ${code}, expected ${expected_code}\nstdout: ${out}\nstderr: ${err}")
  endif()
  set(stderr "${err}" PARENT_SCOPE)
endfunction()

# The first n bytes of a file as lower-case hex.
function(head_hex file n var)
  file(READ ${file} hex LIMIT ${n} HEX)
  set(${var} "${hex}" PARENT_SCOPE)
endfunction()

function(expect actual expected what)
  if(NOT "${actual}" STREQUAL "${expected}")
    message(FATAL_ERROR "${what}: got [${actual}], expected [${expected}]")
  endif()
endfunction()

if(CASE STREQUAL "ok")
  file(WRITE ${WORK}/std/D96A.sdf "${sdf}")
  file(WRITE ${WORK}/std/ORDERS.MDF "${mdf}")
  run_cli(0 ${WORK}/std/D96A.sdf ${WORK}/std/ORDERS.MDF)
  expect("${stderr}" "" "stderr")
  head_hex(${WORK}/std/D96A.SDT 9 sdt)
  expect("${sdt}" "01010000f1ed000000" "SDT header")
  head_hex(${WORK}/std/ORDERS.MDT 9 mdt)
  expect("${mdt}" "01010000f2ed000000" "MDT header")
  file(READ ${WORK}/std/D96A.SDT count OFFSET 320 LIMIT 4 HEX)
  expect("${count}" "02000000" "segment count")

elseif(CASE STREQUAL "error")
  file(WRITE ${WORK}/std/bad.sdf "SEGMENTS\nSEGMENT 'UNH'\nFIELD '0062' ALNUM (1:14) END;\nEND;\n")
  file(WRITE ${WORK}/std/good.sdf "${sdf}")
  run_cli(1 ${WORK}/std/bad.sdf ${WORK}/std/good.sdf ${WORK}/std/missing.mdf)
  expect("${stderr}"
    "${WORK}/std/bad.sdf:3: error: ; expected\n${WORK}/std/missing.mdf:1: error: Source file name must be specified.\n"
    "stderr")
  # The other sources still compile.
  if(NOT EXISTS ${WORK}/std/good.SDT OR EXISTS ${WORK}/std/bad.SDT)
    message(FATAL_ERROR "good.SDT must exist and bad.SDT must not")
  endif()

elseif(CASE STREQUAL "usage")
  file(WRITE ${WORK}/std/D96A.sdf "${sdf}")
  file(WRITE ${WORK}/std/notes.txt "SEGMENTS END;")
  run_cli(2 ${WORK}/std/D96A.sdf ${WORK}/std/notes.txt)
  # Nothing is compiled when one argument is unusable.
  if(EXISTS ${WORK}/std/D96A.SDT)
    message(FATAL_ERROR "no table may be written on a usage error")
  endif()
  run_cli(2)
  run_cli(2 --no-such-option ${WORK}/std/D96A.sdf)

elseif(CASE STREQUAL "embed")
  file(WRITE ${WORK}/std/D96A.sdf "${sdf}")
  file(WRITE ${WORK}/std/ORDERS.mdf "${mdf}")
  # Found beside the message definition, although the current directory is elsewhere.
  run_cli(0 --embed-segments ${WORK}/std/ORDERS.mdf)
  file(READ ${WORK}/std/ORDERS.MDT body OFFSET 320 LIMIT 4 HEX)
  expect("${body}" "08090202" "no memo, embedded, two segments")
  # Found along --search-path.
  file(WRITE ${WORK}/other/ORDERS.mdf "${mdf}")
  file(RENAME ${WORK}/std/D96A.sdf ${WORK}/std/sub.sdf)
  file(MAKE_DIRECTORY ${WORK}/sdfdir)
  file(WRITE ${WORK}/sdfdir/D96A.SDF "${sdf}")
  # (A ";" cannot pass through a CMake argument list, so this call is spelt out.)
  execute_process(COMMAND ${CLI} compile --embed-segments "--search-path=nowhere\;${WORK}/sdfdir"
    ${WORK}/other/ORDERS.mdf WORKING_DIRECTORY ${WORK}/elsewhere RESULT_VARIABLE code ERROR_VARIABLE err)
  expect("${code}" "0" "exit code with --search-path (${err})")
  file(READ ${WORK}/other/ORDERS.MDT body OFFSET 320 LIMIT 4 HEX)
  expect("${body}" "08090202" "embedded through the search path")
  # Without the option only the name of the segment table is stored.
  run_cli(0 ${WORK}/other/ORDERS.mdf)
  file(READ ${WORK}/other/ORDERS.MDT body OFFSET 320 LIMIT 2 HEX)
  expect("${body}" "0808" "not embedded")

elseif(CASE STREQUAL "keep")
  file(WRITE ${WORK}/std/D96A.sdf "${sdf}")
  run_cli(0 --modifiable ${WORK}/std/D96A.sdf)
  file(READ ${WORK}/std/D96A.SDT before HEX)
  string(SUBSTRING "${before}" 16 2 flag)
  expect("${flag}" "01" "modifiable flag")
  file(WRITE ${WORK}/std/D96A.sdf "SEGMENTS SEGMENT 'UNH' FIELD '0062' ALNUM (9:1); END; END;")
  run_cli(1 ${WORK}/std/D96A.sdf)
  expect("${stderr}" "${WORK}/std/D96A.sdf:1: error: Min-Size greater Max-Size\n" "stderr")
  file(READ ${WORK}/std/D96A.SDT after HEX)
  expect("${after}" "${before}" "the earlier table after a failed compilation")
  file(GLOB leftovers ${WORK}/std/*)
  list(LENGTH leftovers n)
  expect("${n}" "2" "files in the directory (no temporary file left)")

else()
  message(FATAL_ERROR "unknown case ${CASE}")
endif()
