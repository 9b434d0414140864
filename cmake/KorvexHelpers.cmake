# Helpers shared by every module's CMakeLists.txt.

# Strict warnings on our own code only.
function(korvex_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12's flow-based buffer warnings misfire inside libstdc++ when
    # optimising (std::string and std::vector copies at -O2/-O3); keep them
    # visible but do not let them fail the build.
    target_compile_options(${target} PRIVATE
      -Wno-error=restrict -Wno-error=array-bounds -Wno-error=stringop-overflow
      -Wno-error=stringop-overread -Wno-error=maybe-uninitialized)
  endif()
endfunction()

# korvex_include_root(TARGET BASE FOLDER)
# Gives TARGET an include root that shows BASE/FOLDER and nothing beside it:
# a folder under the build tree holding one link, FOLDER -> BASE/FOLDER, so
# the sources keep writing "FOLDER/File.h" ("app/editor/MainView.h"). A
# library sees its own folder and, through what it links, the folders below
# it; an include of any other folder fails to compile.
function(korvex_include_root target base folder)
  set(_root ${CMAKE_BINARY_DIR}/include-roots/${target})
  get_filename_component(_parent ${_root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${_parent})
  file(CREATE_LINK ${base}/${folder} ${_root}/${folder} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${_root})
endfunction()

# korvex_library(NAME SOURCES ... DEPS ...)
# A static core library for one folder under src/ (the folder is the name
# without its korvex_ prefix); it sees its own folder and those of DEPS.
function(korvex_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  string(REGEX REPLACE "^korvex_" "" _folder ${name})
  korvex_include_root(${name} ${CMAKE_SOURCE_DIR}/src ${_folder})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  korvex_warnings(${name})
endfunction()

# korvex_test(NAME SOURCES ... DEPS ... [LABELS ...] [TIMEOUT s])
# A GoogleTest program whose cases ctest lists one by one (so ctest -j runs
# them in parallel and prints the counts).
function(korvex_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPS;LABELS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name} ${ARG_SOURCES} ${CMAKE_SOURCE_DIR}/tests/support/TestEnvironment.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE KORVEX_TEST_LANG_DIR="${KORVEX_BIN_DIR}")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  korvex_warnings(${name})
  # The environment (off-screen widgets, language folder, leak suppressions)
  # is set up by tests/support/TestEnvironment.cpp inside each program.
  set(_props TIMEOUT ${ARG_TIMEOUT})
  if(ARG_LABELS)
    list(APPEND _props LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    PROPERTIES ${_props})
endfunction()

# Copies lang/<name>/ beside the programs at build time.
function(korvex_copy_languages)
  file(GLOB _langs LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/lang/*)
  set(_outputs)
  foreach(dir ${_langs})
    if(IS_DIRECTORY ${dir})
      get_filename_component(_name ${dir} NAME)
      file(GLOB _files CONFIGURE_DEPENDS ${dir}/*)
      foreach(f ${_files})
        get_filename_component(_fn ${f} NAME)
        set(_out ${KORVEX_BIN_DIR}/${_name}/${_fn})
        add_custom_command(OUTPUT ${_out}
          COMMAND ${CMAKE_COMMAND} -E copy_if_different ${f} ${_out}
          DEPENDS ${f} VERBATIM)
        list(APPEND _outputs ${_out})
      endforeach()
    endif()
  endforeach()
  add_custom_target(korvex_languages ALL DEPENDS ${_outputs})
endfunction()
