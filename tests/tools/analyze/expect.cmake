# The check both vorlan-analyze scripts make: runs ${ANALYZE} with the
# arguments and reports every way its exit status and output differ from the
# expected ones, without stopping the script.

# expect(STATUS status [STDOUT exact] [MATCH regex...] [ONE_ERROR_LINE] ARGS arguments...)
function(expect)
  cmake_parse_arguments(E "ONE_ERROR_LINE" "STATUS;STDOUT" "MATCH;ARGS" ${ARGN})
  execute_process(COMMAND ${ANALYZE} ${E_ARGS} RESULT_VARIABLE status OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  set(problems "")
  if(NOT status STREQUAL E_STATUS)
    string(APPEND problems " status ${status}, expected ${E_STATUS};")
  endif()
  if(DEFINED E_STDOUT AND NOT out STREQUAL E_STDOUT)
    string(APPEND problems " output differs;")
  endif()
  foreach(pattern ${E_MATCH})
    if(NOT out MATCHES "${pattern}")
      string(APPEND problems " output lacks /${pattern}/;")
    endif()
  endforeach()
  if(E_ONE_ERROR_LINE AND NOT err MATCHES "^vorlan-analyze: [^\n]+\n$")
    string(APPEND problems " error is not one line;")
  endif()
  if(problems)
    message(SEND_ERROR "vorlan-analyze ${E_ARGS}:${problems}\n--- stdout\n${out}--- stderr\n${err}")
  endif()
endfunction()
