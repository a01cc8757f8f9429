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
  # GCC 12 reports false -Wrestrict overlaps inside std::string at -O3.
  list(APPEND PROJECT_WARNINGS -Wno-restrict)
endif()

function(add_folder_library name)
  cmake_parse_arguments(A "" "" "DEPS;PRIVATE_DEPS;TEST_DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cc)
  list(FILTER sources EXCLUDE REGEX "_test\\.cc$")
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cc)
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
endfunction()

# A small program built from one source file.
function(add_project_program name source)
  add_executable(${name} ${source})
  target_compile_options(${name} PRIVATE ${PROJECT_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARGN})
endfunction()
