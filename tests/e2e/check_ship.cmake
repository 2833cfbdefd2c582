cmake_minimum_required(VERSION 3.25)
# Checks the shipped files without running them: the program is a GUI-subsystem PE,
# large-address-aware when 32-bit, imports Codrix.dll by ordinal only, and SHIP_DIR holds
# exactly the program and the library. The process starts in AppEntry with no C runtime
# start-up, so nothing may depend on static constructors. Neither file imports at load
# time a library the loader would look for in the program's folder, and the program
# carries a well-formed manifest. Run with cmake -P; OBJDUMP, NM, XMLLINT, EXE, SHIP_DIR,
# POINTER_SIZE and WORK_DIR are given on the command line.
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

# Load-time imports. The loader takes a Known DLL from the system folder only, and looks for
# any other library in the program's folder first; the only one that may come from there
# is Codrix.dll. These are Known DLLs on every Windows from 7 to 11.
set(KNOWN_DLLS advapi32.dll comdlg32.dll gdi32.dll imm32.dll kernel32.dll msvcrt.dll
    ole32.dll oleaut32.dll rpcrt4.dll sechost.dll shell32.dll shlwapi.dll user32.dll
    ws2_32.dll)
foreach(file ${EXE} ${SHIP_DIR}/Codrix.dll)
  execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE file_dump RESULT_VARIABLE status)
  get_filename_component(name ${file} NAME)
  string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${file_dump}")
  list(TRANSFORM lines REPLACE "^DLL Name: *" "")
  if(NOT status EQUAL 0 OR lines STREQUAL "")
    fail("no import table read from ${name}")
  endif()
  foreach(dll IN LISTS lines)
    string(TOLOWER "${dll}" dll)
    if(dll STREQUAL "codrix.dll" AND name STREQUAL "QuorvelBase64.exe")
      continue()
    endif()
    if(NOT dll IN_LIST KNOWN_DLLS)
      fail("${name} imports ${dll} at load time, which is not a Known DLL")
    endif()
  endforeach()
  message("${name} imports: ${lines}")
endforeach()

# The manifest: resource type 24, id 1, read from the file through the resource directory
# (the leaf's address is relative to the image; the .rsrc section maps it to the file).
string(REGEX MATCH
  "Entry: ID: 0x000018,[^\n]*\n[^\n]*Name Table[^\n]*\n[^\n]*Entry: ID: 0x000001,[^\n]*\n[^\n]*Language Table[^\n]*\n[^\n]*Entry:[^\n]*\n[^\n]*Leaf: Addr: 0x([0-9a-f]+), Size: 0x([0-9a-f]+)"
  leaf "${dump}")
set(manifest_rva ${CMAKE_MATCH_1})
set(manifest_size ${CMAKE_MATCH_2})
execute_process(COMMAND ${OBJDUMP} -h ${EXE} OUTPUT_VARIABLE sections)
string(REGEX MATCH "\.rsrc +[0-9a-f]+ +([0-9a-f]+) +[0-9a-f]+ +([0-9a-f]+)" _ "${sections}")
set(rsrc_vma ${CMAKE_MATCH_1})
set(rsrc_offset ${CMAKE_MATCH_2})
string(REGEX MATCH "ImageBase[ \t]+([0-9a-fA-F]+)" _ "${dump}")
set(image_base ${CMAKE_MATCH_1})
if(leaf STREQUAL "" OR rsrc_vma STREQUAL "" OR image_base STREQUAL "")
  fail("no manifest resource (type 24, id 1)")
elseif(NOT XMLLINT)
  fail("xmllint (libxml2-utils) is needed to check the manifest")
else()
  math(EXPR offset "0x${manifest_rva} + 0x${image_base} - 0x${rsrc_vma} + 0x${rsrc_offset}")
  math(EXPR size "0x${manifest_size}")
  file(READ ${EXE} manifest OFFSET ${offset} LIMIT ${size})
  file(WRITE ${WORK_DIR}/shipped.manifest "${manifest}")
  # A manifest that is not well-formed XML keeps the program from starting at all.
  execute_process(COMMAND ${XMLLINT} --noout ${WORK_DIR}/shipped.manifest
                  RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    fail("the manifest is not well-formed XML: ${errors}")
  else()
    # Elements by their namespace as well as their name: in a wrong one Windows ignores
    # them. Comments do not count.
    set(ASM_V3 "urn:schemas-microsoft-com:asm.v3")
    set(SETTINGS "http://schemas.microsoft.com/SMI/2005/WindowsSettings")
    set(COMPATIBILITY "urn:schemas-microsoft-com:compatibility.v1")
    set(facts
      "namespace-uri(/*)" "urn:schemas-microsoft-com:asm.v1"
      "local-name(/*/*[1])" "assemblyIdentity"
      "string(//*[local-name()='requestedExecutionLevel'][namespace-uri()='${ASM_V3}']/@level)" "asInvoker"
      "string(//*[local-name()='requestedExecutionLevel']/@uiAccess)" "false"
      "normalize-space(//*[local-name()='dpiAware'][namespace-uri()='${SETTINGS}'])" "true"
      "count(//*[local-name()='dpiAwareness'])" "0"
      "count(//*[local-name()='dependency'])" "0"
      "count(//*[local-name()='activeCodePage'])" "0")
    # Windows 7, 8, 8.1, 10 and 11.
    foreach(os 35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38
               1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a)
      list(APPEND facts
        "count(//*[local-name()='supportedOS'][namespace-uri()='${COMPATIBILITY}'][@Id='{${os}}'])" "1")
    endforeach()
    set(query "concat(''")
    set(expected "")
    while(facts)
      list(POP_FRONT facts path value)
      string(APPEND query ", '|', ${path}")
      string(APPEND expected "|${value}")
    endwhile()
    string(APPEND query ")")
    execute_process(COMMAND ${XMLLINT} --xpath "${query}" ${WORK_DIR}/shipped.manifest
                    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT found STREQUAL expected)
      fail("manifest facts are '${found}', expected '${expected}' (identity first, execution level asInvoker, no uiAccess, system DPI awareness, no dependency, no code page, the four supported systems)")
    else()
      message("manifest: ${size} bytes, well-formed, ${found}")
    endif()
  endif()
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
