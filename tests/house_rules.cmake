cmake_minimum_required(VERSION 3.20)
# Checks two rules of the source tree that no compiler enforces:
# - includes point one way: setup/core sees nothing above it; setup/elements sees neither the
#   assembly nor a deliverable; the plug-in and the loader do not see each other;
# - handles are closed only by the owning types of setup/core/handles.h.
#   cmake -DSOURCE_DIR=<tree> -P house_rules.cmake
# PENDING_CLOSE lists files (relative to the tree) still allowed to close handles by hand.
set(PENDING_CLOSE)

set(layers
    "setup/core|setup/elements/|setup/assembly/|plugin/|loader/"
    "setup/elements|setup/assembly/|plugin/|loader/"
    "plugin|loader/"
    "loader|plugin/")
set(closers "RegCloseKey|CloseHandle|FindClose|FreeLibrary|->Release\\(\\)|CoUninitialize|\
OleUninitialize|DdeUninitialize|DdeDisconnect|DdeFreeStringHandle|DdeFreeDataHandle|fclose")

set(faults)
foreach(rule ${layers})
  string(REPLACE "|" ";" parts "${rule}")
  list(POP_FRONT parts folder)
  file(GLOB files "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(file ${files})
    file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line ${includes})
      foreach(forbidden ${parts})
        string(FIND "${line}" "\"${forbidden}" at)
        if(NOT at EQUAL -1)
          file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
          list(APPEND faults "${name}: ${line}")
        endif()
      endforeach()
    endforeach()
  endforeach()
endforeach()

file(GLOB_RECURSE sources "${SOURCE_DIR}/setup/*.h" "${SOURCE_DIR}/setup/*.cpp"
     "${SOURCE_DIR}/plugin/*.h" "${SOURCE_DIR}/plugin/*.cpp"
     "${SOURCE_DIR}/loader/*.h" "${SOURCE_DIR}/loader/*.cpp")
foreach(file ${sources})
  file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
  if(name STREQUAL "setup/core/handles.h" OR name IN_LIST PENDING_CLOSE)
    continue()
  endif()
  file(STRINGS "${file}" lines REGEX "${closers}")
  foreach(line ${lines})
    # (A line with ";" comes as several items.)
    if(line MATCHES "${closers}" AND NOT line MATCHES "^[ \t]*//")
      string(STRIP "${line}" line)
      list(APPEND faults "${name}: closes a handle by hand: ${line}")
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "house rules broken:\n  ${text}")
endif()
message(STATUS "house rules kept")
