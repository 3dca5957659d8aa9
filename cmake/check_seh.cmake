# Checks that an i686 image lets its own frame-based exception handlers run (the crash guard's)
# on the systems that validate handlers (XP SP2 and later): the image carries no load
# configuration (so no SafeSEH table that would have to list every handler) and is not marked
# "no SEH" (which refuses all of them).
#   cmake -DOBJDUMP=<objdump> -DIMAGE=<file> -P check_seh.cmake
execute_process(COMMAND ${OBJDUMP} -p ${IMAGE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} cannot read ${IMAGE}")
endif()
if(NOT dump MATCHES "Entry a ([0-9a-fA-F]+) ([0-9a-fA-F]+) Load Configuration Directory")
  message(FATAL_ERROR "${IMAGE}: no data directory entry for the load configuration found")
endif()
set(address ${CMAKE_MATCH_1})
set(size ${CMAKE_MATCH_2})
if(NOT address MATCHES "^0+$" OR NOT size MATCHES "^0+$")
  message(FATAL_ERROR "${IMAGE} has a load configuration: a SafeSEH table in it would refuse "
                      "the crash guard's handler")
endif()
if(NOT dump MATCHES "DllCharacteristics[ \t]+([0-9a-fA-F]+)")
  message(FATAL_ERROR "${IMAGE}: no DllCharacteristics found")
endif()
set(characteristics ${CMAKE_MATCH_1})
math(EXPR noSeh "0x${characteristics} & 0x400")
if(noSeh)
  message(FATAL_ERROR "${IMAGE} is marked \"no SEH\": the crash guard's handler would be refused")
endif()
