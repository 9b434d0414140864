# Names for the numbers of the English string table.
#
# Every text line of lang/en/*.mui reads "id key<TAB>text". The key
# ("session.create_failed") becomes the C++ name korvex::text::session_create_failed
# with the number as its value, in one generated header that core, window and
# tests include as "framework/TextIds.h". A line without a key, a key or a
# number used twice, or two keys that give the same C++ name stop the build
# with a message naming the file and the line.
#
# Included by src/framework/CMakeLists.txt (korvex_generate_text_ids), or run
# as a script: cmake -DOUTPUT=<header> -DINPUTS=<a.mui;b.mui> -P GenerateTextIds.cmake

# Reads one table file and appends its entries to the caller's _entries as
# "id|key|file"; fails on a line without a usable key.
function(_korvex_text_ids_read file)
  file(READ "${file}" _text)
  # Only the field before each tab matters; semicolons would split lists.
  string(REPLACE ";" "," _text "${_text}")
  string(REGEX MATCHALL "\n[0-9][^\t\n]*" _fields "\n${_text}")
  get_filename_component(_name "${file}" NAME)
  set(_out ${_entries})
  foreach(_field IN LISTS _fields)
    string(SUBSTRING "${_field}" 1 -1 _field)
    string(REGEX REPLACE "\r$" "" _field "${_field}")
    if(NOT _field MATCHES "^([0-9]+) ([a-z][a-z0-9_]*(\\.[a-z0-9_]+)+)$")
      message(FATAL_ERROR "${_name}: the text line starting \"${_field}\" needs a key: "
                          "write \"id area.name<TAB>text\" (lower-case letters, digits, '_').")
    endif()
    list(APPEND _out "${CMAKE_MATCH_1}|${CMAKE_MATCH_2}|${_name}")
  endforeach()
  set(_entries ${_out} PARENT_SCOPE)
endfunction()

# Checks the entries for numbers, keys and C++ names used twice and writes
# the header (only when its content changes, so nothing rebuilds needlessly).
function(_korvex_text_ids_write output)
  set(_lines "")
  set(_all "")
  foreach(_entry IN LISTS ARGN)
    string(REPLACE "|" ";" _parts "${_entry}")
    list(GET _parts 0 _id)
    list(GET _parts 1 _key)
    list(GET _parts 2 _file)
    math(EXPR _id "${_id}")
    string(REPLACE "." "_" _cname "${_key}")
    if(DEFINED _id_${_id})
      message(FATAL_ERROR "${_file}: number ${_id} (${_key}) is already used by ${_id_${_id}}.")
    endif()
    if(DEFINED _name_${_cname})
      message(FATAL_ERROR "${_file}: key ${_key} (number ${_id}) gives the name text::${_cname}, "
                          "already taken by ${_name_${_cname}}.")
    endif()
    set(_id_${_id} "${_key} in ${_file}")
    set(_name_${_cname} "${_key} = ${_id} in ${_file}")
    string(APPEND _lines "inline constexpr unsigned ${_cname} = ${_id};\n")
    string(APPEND _all "    ${_cname},\n")
  endforeach()
  list(LENGTH ARGN _count)
  string(CONCAT _header
    "// Generated from lang/en/*.mui by cmake/GenerateTextIds.cmake: edit the tables.\n"
    "#pragma once\n\n"
    "// The numbers of the program's texts, named after their keys (a key's '.'\n"
    "// becomes '_'). Look a text up with LoadTextA(text::session_create_failed).\n"
    "namespace korvex::text {\n\n")
  string(APPEND _header "${_lines}")
  string(APPEND _header "\n// Every number above, in table order (${_count} texts).\n"
                        "inline constexpr unsigned kAll[] = {\n")
  string(APPEND _header "${_all}")
  string(APPEND _header "};\n\n} // namespace korvex::text\n")
  file(WRITE "${output}.new" "${_header}")
  configure_file("${output}.new" "${output}" COPYONLY)
  file(REMOVE "${output}.new")
endfunction()

# korvex_generate_text_ids(<header> <table files...>)
function(korvex_generate_text_ids output)
  set(_entries "")
  foreach(_file IN LISTS ARGN)
    _korvex_text_ids_read("${_file}")
  endforeach()
  _korvex_text_ids_write("${output}" ${_entries})
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  korvex_generate_text_ids("${OUTPUT}" ${INPUTS})
endif()
