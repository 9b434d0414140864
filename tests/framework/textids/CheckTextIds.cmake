# Runs the text-name generator on the small tables beside this file: the good
# one gives the expected names, each faulty one stops it with a message that
# names the fault.
# cmake -DGENERATOR=<GenerateTextIds.cmake> -DWORK=<scratch folder> -P CheckTextIds.cmake

set(_here ${CMAKE_CURRENT_LIST_DIR})
set(_failures 0)

function(_run table out_result out_error)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${WORK}/TextIds.h -DINPUTS=${_here}/${table} -P ${GENERATOR}
    RESULT_VARIABLE _result ERROR_VARIABLE _error OUTPUT_QUIET)
  set(${out_result} "${_result}" PARENT_SCOPE)
  set(${out_error} "${_error}" PARENT_SCOPE)
endfunction()

function(_expect_refused table pattern)
  _run(${table} _result _error)
  string(REGEX REPLACE "[ \n]+" " " _flat "${_error}")
  if(_result EQUAL 0 OR NOT _flat MATCHES "${pattern}")
    message(SEND_ERROR "${table}: expected a failure matching '${pattern}', got ${_result}: ${_error}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

_run(good.mui _result _error)
file(READ ${WORK}/TextIds.h _header)
foreach(_want "unsigned err_device_no_answer = 10;" "unsigned err_device_refused = 12;"
              "kAll\\[\\] = {\n    err_device_no_answer,\n    err_device_refused,\n}")
  if(NOT _result EQUAL 0 OR NOT _header MATCHES "${_want}")
    message(SEND_ERROR "good.mui: '${_want}' not in the header (${_result} ${_error}):\n${_header}")
  endif()
endforeach()

_expect_refused(duplicate_key.mui "duplicate_key.mui: key err.device.no_answer .number 11. gives the name text::err_device_no_answer, already taken")
_expect_refused(duplicate_number.mui "duplicate_number.mui: number 10 .err.device.refused. is already used by err.device.no_answer")
_expect_refused(missing_key.mui "missing_key.mui: the text line starting \"11\" needs a key")
_expect_refused(same_name.mui "same_name.mui: key err.device.no_answer .number 11. gives the name text::err_device_no_answer, already taken by err.device_no.answer")
