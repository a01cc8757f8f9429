# One library per folder: every .cc in the folder except the tests, with the
# tests beside it (name_test.cc) built into one executable that links the
# library. Files are globbed so adding a source needs no edit here.

if(KIT_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(KIT_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

set(PROJECT_WARNINGS -Wall -Wextra -Werror)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC 12 reports false -Wrestrict overlaps inside std::string, and false
  # -Warray-bounds and -Wstringop-overread reads inside std::vector::insert
  # at -O3.
  list(APPEND PROJECT_WARNINGS -Wno-restrict -Wno-array-bounds -Wno-stringop-overread)
endif()

# Folders are added in dependency order (the root CMakeLists.txt lists them
# bottom up), so every library a folder links must already be defined when
# the folder is added. A dependency on a folder added later is an upward
# dependency, which is how a cycle starts: the configure step stops there.
# Imported targets ("Pkg::Name") and library files (paths) are outside the
# folder graph; tests may link anything (TEST_DEPS are not checked).
function(check_folder_dependencies name)
  foreach(dep ${ARGN})
    if(dep MATCHES "::" OR dep MATCHES "/" OR dep MATCHES "^-" OR dep MATCHES "^\\$<")
      continue()
    endif()
    if(NOT TARGET ${dep})
      message(FATAL_ERROR
        "${name} (${CMAKE_CURRENT_SOURCE_DIR}) depends on '${dep}', which is not defined yet. "
        "Folders are added bottom up (root CMakeLists.txt) and may only depend on folders below them; "
        "a dependency on a folder added later points upwards and would close a cycle.")
    endif()
  endforeach()
endfunction()

# Programs keep their copies of the C++ library's inline functions to
# themselves, so that no shared library binds to them (program-exports.map).
string(APPEND CMAKE_EXE_LINKER_FLAGS " -Wl,--version-script=${CMAKE_CURRENT_LIST_DIR}/program-exports.map")

# Programs link only the shared libraries they use (the browser engine's
# WebKitGTK stays out of the unit tests that never start it).
add_link_options(LINKER:--as-needed)

# Tests that run pages in the browser engine (name_engine_test.cc) are built
# into their own executable, name_engine_test, labelled "engine": they need
# a display (the Makefile runs ctest under xvfb-run) and skip themselves,
# with the reason, where none can be had.
function(add_folder_library name)
  cmake_parse_arguments(A "" "" "DEPS;PRIVATE_DEPS;TEST_DEPS" ${ARGN})
  check_folder_dependencies(${name} ${A_DEPS} ${A_PRIVATE_DEPS})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cc)
  list(FILTER sources EXCLUDE REGEX "_test\\.cc$")
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cc)
  file(GLOB engine_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_engine_test.cc)
  if(engine_tests)
    list(FILTER tests EXCLUDE REGEX "_engine_test\\.cc$")
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${PROJECT_WARNINGS})
  target_link_libraries(${name} PUBLIC ${A_DEPS} PRIVATE ${A_PRIVATE_DEPS})
  if(tests AND KIT_TESTS)
    add_executable(${name}_test ${tests})
    target_compile_options(${name}_test PRIVATE ${PROJECT_WARNINGS})
    target_link_libraries(${name}_test PRIVATE ${name} $<TARGET_NAME_IF_EXISTS:kit_testing> ${A_TEST_DEPS}
                          GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${name}_test DISCOVERY_MODE PRE_TEST
                         WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
                         PROPERTIES TIMEOUT 120)
  endif()
  if(engine_tests AND KIT_TESTS)
    add_executable(${name}_engine_test ${engine_tests})
    target_compile_options(${name}_engine_test PRIVATE ${PROJECT_WARNINGS})
    target_link_libraries(${name}_engine_test PRIVATE ${name} kit_web_browser kit_web_browser_testing
                          $<TARGET_NAME_IF_EXISTS:kit_testing> ${A_TEST_DEPS}
                          GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${name}_engine_test DISCOVERY_MODE PRE_TEST
                         WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
                         PROPERTIES TIMEOUT 180 LABELS engine
                                    ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/scripts/lsan-suppressions.txt")
  endif()
endfunction()

# A small program built from one source file.
function(add_project_program name source)
  add_executable(${name} ${source})
  target_compile_options(${name} PRIVATE ${PROJECT_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARGN})
endfunction()
