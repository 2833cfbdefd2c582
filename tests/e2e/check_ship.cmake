# Checks the shipped files without running them: the program is a GUI-subsystem PE,
# large-address-aware when 32-bit, imports Codrix.dll by ordinal only, and SHIP_DIR holds
# exactly the program and the library. The process starts in AppEntry with no C runtime
# start-up, so nothing may depend on static constructors. Run with cmake -P; OBJDUMP, NM,
# EXE, SHIP_DIR and POINTER_SIZE are given on the command line.
set(failures 0)
macro(fail message)
  message("FAILED: ${message}")
  math(EXPR failures "${failures} + 1")
endmacro()

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${EXE}")
endif()

if(NOT dump MATCHES "Subsystem[ \t]+0+2[ \t]+\\(Windows GUI\\)")
  fail("not a GUI-subsystem program")
endif()
if(POINTER_SIZE EQUAL 4 AND NOT dump MATCHES "large address aware")
  fail("a 32-bit program that is not large-address-aware")
endif()

# The import block of Codrix.dll runs from its "DLL Name" line to the next blank line.
string(FIND "${dump}" "DLL Name: Codrix.dll" start)
if(start EQUAL -1)
  fail("does not import Codrix.dll")
else()
  string(SUBSTRING "${dump}" ${start} -1 block)
  string(FIND "${block}" "\n\n" end)
  string(SUBSTRING "${block}" 0 ${end} block)
  string(REGEX MATCHALL "\n\t[0-9a-f]+[ \t]+[^\n]*" entries "${block}")
  list(LENGTH entries count)
  if(count EQUAL 0)
    fail("no entries listed for Codrix.dll")
  endif()
  foreach(entry IN LISTS entries)
    # objdump prints "<ordinal>  <none>" for an import by ordinal and
    # "<hint>  <name>" for one by name.
    if(NOT entry MATCHES "<none>")
      fail("imported by name from Codrix.dll:${entry}")
    endif()
  endforeach()
  message("Codrix.dll imports: ${count}, all by ordinal")
endif()

# Symbols: the entry point is AppEntry, and no static constructor exists that would
# silently never run.
execute_process(COMMAND ${NM} ${EXE} OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR symbols STREQUAL "")
  fail("no symbols to check the entry point with")
else()
  string(REGEX MATCH "ImageBase[ \t]+([0-9a-fA-F]+)" _ "${dump}")
  set(image_base ${CMAKE_MATCH_1})
  string(REGEX MATCH "AddressOfEntryPoint[ \t]+([0-9a-fA-F]+)" _ "${dump}")
  set(entry_rva ${CMAKE_MATCH_1})
  string(REGEX MATCH "([0-9a-f]+) T _?AppEntry(@0)?\n" _ "${symbols}")
  set(app_entry ${CMAKE_MATCH_1})
  math(EXPR entry "0x${image_base} + 0x${entry_rva}" OUTPUT_FORMAT HEXADECIMAL)
  set(app_entry_value none)
  if(NOT app_entry STREQUAL "")
    math(EXPR app_entry_value "0x${app_entry}" OUTPUT_FORMAT HEXADECIMAL)
  endif()
  if(NOT entry STREQUAL app_entry_value)
    fail("the entry point ${entry} is not AppEntry (${app_entry})")
  endif()
  if(symbols MATCHES "_GLOBAL__sub_I")
    fail("static constructors present; no runtime start-up runs them")
  endif()
endif()

file(GLOB shipped RELATIVE ${SHIP_DIR} ${SHIP_DIR}/*)
list(SORT shipped)
if(NOT shipped STREQUAL "Codrix.dll;QuorvelBase64.exe")
  fail("${SHIP_DIR} holds '${shipped}', not exactly Codrix.dll and QuorvelBase64.exe")
endif()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} check(s) failed")
endif()
message("shipped files: all checks passed")
