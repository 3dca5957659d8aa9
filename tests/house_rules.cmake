cmake_minimum_required(VERSION 3.20)
# Checks two rules of the source tree, as a second line behind the build (where the setup
# library's layers are separate libraries, so that a call upwards already fails to link):
# - includes point one way: setup/core sees nothing above it; setup/elements sees neither the
#   assembly nor a deliverable; the plug-in, the loader and the engine do not see each other;
# - handles are closed only by the owning types of setup/core/handles.h, in the product and in
#   the tests alike;
# - a seam of the library is set (OverrideForTesting) only in the tests and in the engine's test
#   build (engine/test_switches.cpp), never in what ships.
#   cmake -DSOURCE_DIR=<tree> -P house_rules.cmake
#
# RAW_CLOSE lists the test files (relative to the tree) that may close handles with the
# platform's own calls, each for a reason that is the file's point:
set(RAW_CLOSE
    # Checks the owning types against the platform's own initialisation and uninitialisation.
    tests/core/handles_test.cpp
    # Enters a thread into the multithreaded apartment (CoInitializeEx), which ComScope does not
    # begin, to see what registration leaves there.
    tests/elements/self_reg_file_test.cpp
    # A product's self-registering module: it probes the COM state of its caller's thread with
    # the platform's calls, as a module that knows nothing of this library does.
    tests/material/selfreg/selfreg_module.cpp
    # The Program Manager stand-in: a DDE server that registers and frees its service name and
    # instance as the real server does (the owning types are a client's).
    tests/standins/progman/progman_standin.cpp
    # The loader benchmark's baseline: a program with nothing of the library in it.
    tests/bench/bare_launch.cpp
    # Programs and modules that play software from outside the system (a setup engine that
    # records its start, the folder library, HotSync's interface module, a product's custom DLL
    # and program): they link nothing of the library, as the software they imitate does not.
    tests/standins/engine/engine.cpp
    tests/standins/shfolder/shfolder.cpp
    tests/standins/sync20/sync20.cpp
    tests/material/custom/custom_entry.cpp
    tests/material/programs/recorder.cpp
    # GoogleTest's own port hook for the win32 thread model: compiled into GoogleTest, which
    # sees nothing of the library.
    tests/support/gtest-win32/gtest/internal/custom/gtest-port.h)

set(layers
    "setup/core|setup/elements/|setup/assembly/|plugin/|loader/|engine/"
    "setup/elements|setup/assembly/|plugin/|loader/|engine/"
    "plugin|loader/|engine/"
    "loader|plugin/|engine/"
    "engine|plugin/|loader/")
set(closers "RegCloseKey|CloseHandle|FindClose|FreeLibrary|->Release\\(\\)|CoUninitialize|\
OleUninitialize|DdeUninitialize|DdeDisconnect|DdeFreeStringHandle|DdeFreeDataHandle|fclose|\
inflateEnd")

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
     "${SOURCE_DIR}/loader/*.h" "${SOURCE_DIR}/loader/*.cpp"
     "${SOURCE_DIR}/engine/*.h" "${SOURCE_DIR}/engine/*.cpp"
     "${SOURCE_DIR}/tests/*.h" "${SOURCE_DIR}/tests/*.cpp" "${SOURCE_DIR}/tests/*.c")
foreach(file ${sources})
  file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
  if(name STREQUAL "setup/core/handles.h" OR name IN_LIST RAW_CLOSE)
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

# Seams are set only where tests run.
file(GLOB_RECURSE product_sources "${SOURCE_DIR}/setup/*.h" "${SOURCE_DIR}/setup/*.cpp"
     "${SOURCE_DIR}/plugin/*.h" "${SOURCE_DIR}/plugin/*.cpp"
     "${SOURCE_DIR}/loader/*.h" "${SOURCE_DIR}/loader/*.cpp"
     "${SOURCE_DIR}/engine/*.h" "${SOURCE_DIR}/engine/*.cpp")
foreach(file ${product_sources})
  file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
  if(name STREQUAL "setup/core/seam.h" OR name STREQUAL "engine/test_switches.cpp")
    continue()
  endif()
  file(STRINGS "${file}" lines REGEX "OverrideForTesting")
  foreach(line ${lines})
    if(NOT line MATCHES "^[ \t]*//")
      string(STRIP "${line}" line)
      list(APPEND faults "${name}: sets a seam outside the tests: ${line}")
    endif()
  endforeach()
endforeach()

# An entry of RAW_CLOSE whose file is gone or closes nothing by hand any more goes too.
foreach(name ${RAW_CLOSE})
  set(closes FALSE)
  if(EXISTS "${SOURCE_DIR}/${name}")
    file(STRINGS "${SOURCE_DIR}/${name}" lines REGEX "${closers}")
    if(lines)
      set(closes TRUE)
    endif()
  endif()
  if(NOT closes)
    list(APPEND faults "${name}: listed in RAW_CLOSE but closes no handle by hand")
  endif()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "house rules broken:\n  ${text}")
endif()
message(STATUS "house rules kept")
