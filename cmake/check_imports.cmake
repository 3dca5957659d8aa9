# Checks that a 32-bit Windows image loads on every system the product is for: Windows 95 and
# Windows NT 4.0 as first shipped (and NT 3.51, as far as the header goes).
#   cmake -DOBJDUMP=<objdump> -DIMAGE=<file> -DLISTS=<folder> [-DSHOW_IMPORTS=ON]
#         -P check_imports.cmake
#
# Fails on
#   - a DLL with a thread-local storage directory (Windows 95 does not load it at run time),
#   - an imported function that is not on <LISTS>/<dll>.txt (names both systems export),
#   - an import by ordinal (its name, and so its presence on the old systems, cannot be checked),
#   - an import from a DLL that has no list,
#   - an OS or subsystem version above 4.0 in the PE header (the loaders of both systems refuse
#     such an image).
# Each offending import is printed with its DLL and, when <LISTS>/notes.tsv knows the name, why
# it is missing. Imports that Windows 95 exports only as a stub that fails (<LISTS>/stubs-9x.txt)
# are reported without failing: the program loads, but must not rely on them there.
# SHOW_IMPORTS prints every import, by DLL.
foreach(var OBJDUMP IMAGE LISTS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_imports.cmake needs -D${var}=...")
  endif()
endforeach()
get_filename_component(image_name "${IMAGE}" NAME)
if(NOT EXISTS "${IMAGE}")
  message(FATAL_ERROR "${IMAGE} does not exist")
endif()
execute_process(COMMAND ${OBJDUMP} -p ${IMAGE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc
                ERROR_VARIABLE dump_errors)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} cannot read ${IMAGE}: ${dump_errors}")
endif()

set(failures)
# Appends one failure text, given in pieces.
macro(add_failure)
  string(CONCAT _text ${ARGN})
  list(APPEND failures "${_text}")
endmacro()

# ---- PE header versions ----
set(versions)
foreach(kind OSystem Subsystem)
  string(REGEX MATCH "Major${kind}Version[ \t]+([0-9]+)" _ "${dump}")
  set(major "${CMAKE_MATCH_1}")
  string(REGEX MATCH "Minor${kind}Version[ \t]+([0-9]+)" _ "${dump}")
  set(minor "${CMAKE_MATCH_1}")
  if(major STREQUAL "" OR minor STREQUAL "")
    add_failure("the PE header gives no ${kind} version")
    continue()
  endif()
  list(APPEND versions "${kind} ${major}.${minor}")
  if(major GREATER 4 OR (major EQUAL 4 AND minor GREATER 0))
    add_failure("${kind} version ${major}.${minor} in the PE header: above 4.0, so "
                         "Windows 95 and NT 4.0 refuse to load the image")
  endif()
endforeach()

# ---- Thread-local storage ----
# Windows 95 refuses to load a DLL with a TLS directory through LoadLibrary (error 1114).
if(dump MATCHES "\nCharacteristics [^\n]*\n(\t[^\n]*\n)*\tDLL\n"
   AND dump MATCHES "Entry 9 [0-9a-fA-F]+ ([0-9a-fA-F]+) Thread Storage Directory")
  if(NOT CMAKE_MATCH_1 MATCHES "^0+$")
    add_failure("a thread-local storage directory in a DLL: Windows 95 refuses to load it "
                "through LoadLibrary")
  endif()
endif()

# ---- Lists ----
# Hints: "<dll>\t<name>" -> reason.
file(STRINGS "${LISTS}/notes.tsv" note_lines REGEX "^[^#]")
set(note_keys)
set(note_texts)
foreach(line IN LISTS note_lines)
  if(line MATCHES "^([^\t]+)\t([^\t]+)\t(.*)$")
    string(TOLOWER "${CMAKE_MATCH_1}" dll)
    list(APPEND note_keys "${dll}!${CMAKE_MATCH_2}")
    # A list entry cannot hold a semicolon.
    string(REPLACE ";" "," reason "${CMAKE_MATCH_3}")
    list(APPEND note_texts "${reason}")
  endif()
endforeach()
# Stubs on Windows 95: "<dll>.dll!<name>\t<code>".
file(STRINGS "${LISTS}/stubs-9x.txt" stub_lines REGEX "^[^#]")
set(stub_keys)
set(stub_codes)
foreach(line IN LISTS stub_lines)
  if(line MATCHES "^([^!]+)\\.[Dd][Ll][Ll]!([^\t]+)\t(.*)$")
    string(TOLOWER "${CMAKE_MATCH_1}" dll)
    list(APPEND stub_keys "${dll}!${CMAKE_MATCH_2}")
    list(APPEND stub_codes "${CMAKE_MATCH_3}")
  endif()
endforeach()

# ---- Import tables ----
# objdump prints, per DLL: "\tDLL Name: X", a column heading, then one line per import:
# "\t<vma>\t<hint>  <name>", or "\t<vma>\t<ordinal>  <none>" for an import by ordinal.
string(REGEX MATCHALL "\tDLL Name: [^\n]+\n\tvma:[^\n]*\n(\t[0-9a-fA-F]+\t[^\n]*\n)*" blocks
       "${dump}")
set(dll_summaries)
set(stub_reports)
set(import_count 0)
foreach(block IN LISTS blocks)
  string(REGEX MATCH "DLL Name: ([^\n]+)" _ "${block}")
  string(STRIP "${CMAKE_MATCH_1}" dll_name)
  string(TOLOWER "${dll_name}" dll)
  string(REGEX REPLACE "\\.dll$" "" dll "${dll}")
  set(list_file "${LISTS}/${dll}.txt")
  set(allowed)
  set(has_list OFF)
  if(EXISTS "${list_file}")
    set(has_list ON)
    file(STRINGS "${list_file}" allowed REGEX "^[^#]")
  else()
    add_failure("${dll_name}: no export list (${dll}.txt), so nothing it exports may "
                         "be imported; load it at run time instead")
  endif()
  string(REGEX MATCHALL "\n\t[0-9a-fA-F]+\t[^\n]*" entries "\n${block}")
  set(names)
  foreach(entry IN LISTS entries)
    math(EXPR import_count "${import_count} + 1")
    if(entry MATCHES "\t *([0-9]+)  <none>$")
      add_failure("${dll_name}: import by ordinal ${CMAKE_MATCH_1} (cannot be checked)")
      list(APPEND names "#${CMAKE_MATCH_1}")
      continue()
    endif()
    string(REGEX REPLACE "^\n\t[0-9a-fA-F]+\t *[0-9]+  " "" name "${entry}")
    string(STRIP "${name}" name)
    list(APPEND names "${name}")
    if(has_list)
      list(FIND allowed "${name}" found)
      if(found EQUAL -1)
        list(FIND note_keys "${dll}!${name}" note)
        if(NOT allowed)
          set(why "${dll_name} is not part of every target system, see ${dll}.txt")
        elseif(note EQUAL -1)
          set(why "not on ${dll}.txt")
        else()
          list(GET note_texts ${note} why)
        endif()
        add_failure("${dll_name}!${name}: not exported by both Windows 95 and NT 4.0 "
                             "(${why})")
      endif()
    endif()
    list(FIND stub_keys "${dll}!${name}" stub)
    if(NOT stub EQUAL -1)
      list(GET stub_codes ${stub} code)
      list(APPEND stub_reports "${dll_name}!${name} (${code})")
    endif()
  endforeach()
  list(LENGTH names count)
  list(APPEND dll_summaries "${dll_name} ${count}")
  if(SHOW_IMPORTS)
    string(JOIN " " shown ${names})
    message("${image_name}: ${dll_name}: ${shown}")
  endif()
endforeach()

foreach(report IN LISTS stub_reports)
  message("${image_name}: note: ${report} is only a stub that fails on Windows 95")
endforeach()
string(JOIN ", " header_text ${versions})
string(JOIN ", " dll_text ${dll_summaries})
if(failures)
  foreach(failure IN LISTS failures)
    message("${image_name}: ${failure}")
  endforeach()
  list(LENGTH failures count)
  message(FATAL_ERROR "${image_name}: ${count} import check failure(s); ${header_text}")
endif()
message(STATUS "${image_name}: ${import_count} imports, all on the Windows 95 and NT 4.0 lists "
               "(${dll_text}); ${header_text}")
