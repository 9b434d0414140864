# Writes a manual page: cmake -DPROGRAM=... -DTEMPLATE=... -DOUTPUT=...
# -DVERSION=... -P ManPage.cmake
#
# The template is troff with two place holders: @HELP@ becomes the program's
# --help text and @COMMANDS@ one subsection per command that --help lists
# under "commands:" (each with that command's own --help). The page is then
# compressed as Debian wants it (gzip -9n, no time stamp).
cmake_minimum_required(VERSION 3.25)

foreach(v PROGRAM TEMPLATE OUTPUT VERSION)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "ManPage.cmake needs -D${v}=...")
  endif()
endforeach()

function(run_help out)
  execute_process(COMMAND ${PROGRAM} ${ARGN} --help
    OUTPUT_VARIABLE text ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${ARGN} --help failed (${rc}): ${err}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Help text as a no-fill troff block: backslashes and minus signs escaped,
# lines that would read as requests guarded.
function(as_troff out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  string(REGEX REPLACE "\n+$" "" text "${text}")
  set(${out} ".nf\n${text}\n.fi" PARENT_SCOPE)
endfunction()

run_help(help)
as_troff(help_troff "${help}")

set(commands_troff "")
string(FIND "${help}" "commands:\n" at)
if(at GREATER -1)
  string(SUBSTRING "${help}" ${at} -1 list)
  string(REPLACE "\n" ";" lines "${list}")
  foreach(line ${lines})
    if(line MATCHES "^  ([a-z][a-z0-9-]*) +[^ ]")
      set(name ${CMAKE_MATCH_1})
      run_help(command_help ${name})
      as_troff(command_troff "${command_help}")
      string(APPEND commands_troff ".SS ${name}\n${command_troff}\n")
    endif()
  endforeach()
endif()

file(READ ${TEMPLATE} page)
string(REPLACE "@VERSION@" "${VERSION}" page "${page}")
string(REPLACE "@HELP@" "${help_troff}" page "${page}")
string(REPLACE "@COMMANDS@" "${commands_troff}" page "${page}")
file(WRITE ${OUTPUT} "${page}")
execute_process(COMMAND gzip -9nf ${OUTPUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip ${OUTPUT} failed")
endif()
