# Runs the import check on one image and compares its verdict and report with what is expected.
#   cmake -DCHECK=<check_imports.cmake> -DOBJDUMP=<objdump> -DIMAGE=<file> -DLISTS=<folder>
#         -DVERDICT=pass|fail [-DREPORTS=<text1>|<text2>...] -P expect_check.cmake
# Each text of REPORTS must appear in the check's output.
execute_process(COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${OBJDUMP} -DIMAGE=${IMAGE} -DLISTS=${LISTS}
                        -P ${CHECK}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(report "${out}${err}")
message("${report}")
if(VERDICT STREQUAL "pass" AND NOT rc EQUAL 0)
  message(FATAL_ERROR "the check rejected ${IMAGE}, which it should pass")
elseif(VERDICT STREQUAL "fail" AND rc EQUAL 0)
  message(FATAL_ERROR "the check passed ${IMAGE}, which it should reject")
endif()
# The report wraps long lines: compare with the line breaks and indentation taken out.
string(REGEX REPLACE "\n *" " " flat "${report}")
string(REPLACE "|" ";" expected "${REPORTS}")
foreach(text IN LISTS expected)
  string(FIND "${flat}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the check's report lacks \"${text}\"")
  endif()
endforeach()
