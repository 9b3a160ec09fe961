# Build helpers shared by every folder.

# The foundation and engine code is compiled twice: with an 8-bit TCHAR for the
# setup (NAME_narrow) and with a UTF-16 TCHAR for the game (NAME_wide).
function(vorlan_dual_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;NARROW_LINKS;WIDE_LINKS;LINKS" ${ARGN})
  foreach(width narrow wide)
    add_library(${name}_${width} STATIC ${ARG_SOURCES})
    target_include_directories(${name}_${width} PUBLIC ${PROJECT_SOURCE_DIR})
    string(TOUPPER ${width} WIDTH)
    target_link_libraries(${name}_${width} PUBLIC ${ARG_LINKS} ${ARG_${WIDTH}_LINKS})
    if(width STREQUAL "wide")
      target_compile_definitions(${name}_${width} PUBLIC VORLAN_WIDE_TCHAR=1)
    endif()
  endforeach()
endfunction()

# A GoogleTest program registered with CTest, one test per case.
function(vorlan_test name)
  cmake_parse_arguments(ARG "" "PREFIX" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} GTest::gtest GTest::gtest_main)
  if(NOT ARG_PREFIX)
    set(ARG_PREFIX "${name}.")
  endif()
  gtest_discover_tests(${name} TEST_PREFIX ${ARG_PREFIX} DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300)
endfunction()

# One test source built for both text widths (see vorlan_dual_library);
# LIBS are dual library base names.
function(vorlan_dual_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LINKS" ${ARGN})
  foreach(width narrow wide)
    set(libs)
    foreach(lib ${ARG_LIBS})
      list(APPEND libs ${lib}_${width})
    endforeach()
    vorlan_test(${name}_${width} SOURCES ${ARG_SOURCES} LINKS ${libs} ${ARG_LINKS}
                PREFIX "${name}.${width}.")
  endforeach()
endfunction()

# A Google Benchmark program under bench/.
function(vorlan_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} benchmark::benchmark)
endfunction()

# A fuzz target: LLVMFuzzerTestOneInput in SOURCES. With VORLAN_FUZZ it is a
# libFuzzer program; otherwise it is linked with a small driver that feeds it
# every file of its seed corpus (fuzz/corpus/NAME) and of the malformed inputs
# kept as regression files (tests/data/NAME/malformed), and runs as a test.
function(vorlan_fuzz name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS})
  if(VORLAN_FUZZ)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/fuzz/corpus_driver.cpp)
    if(VORLAN_TESTS)
      add_test(NAME fuzz.${name}.corpus
               COMMAND ${name} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name}
                       ${PROJECT_SOURCE_DIR}/tests/data/${name}/malformed)
    endif()
  endif()
endfunction()

# Adds every direct subfolder that has a CMakeLists.txt.
macro(vorlan_add_subdirectories)
  file(GLOB _vorlan_children CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  foreach(_vorlan_child ${_vorlan_children})
    get_filename_component(_vorlan_dir ${_vorlan_child} DIRECTORY)
    add_subdirectory(${_vorlan_dir})
  endforeach()
endmacro()
