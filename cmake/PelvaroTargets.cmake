# pelvaro_library(NAME [DEPS target...]): the static library pelvaro_NAME from every .cpp
# of the calling folder, with src/ as its include root.
function(pelvaro_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(pelvaro_${name} STATIC ${sources})
  target_include_directories(pelvaro_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(pelvaro_${name} PUBLIC pelvaro_options ${ARG_DEPS})
endfunction()

# pelvaro_test(NAME [NO_GTEST_MAIN] [DEPS target...] [ENV VAR=VALUE...]): one GoogleTest
# executable test_NAME from every .cpp of the calling folder, registered test by test with
# ctest. NO_GTEST_MAIN leaves main() to the test sources (for example to create an application
# object first).
function(pelvaro_test name)
  cmake_parse_arguments(ARG "NO_GTEST_MAIN" "" "DEPS;ENV" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(test_${name} ${sources})
  target_include_directories(test_${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(test_${name} PRIVATE pelvaro_options GTest::gtest ${ARG_DEPS})
  if(NOT ARG_NO_GTEST_MAIN)
    target_link_libraries(test_${name} PRIVATE GTest::gtest_main)
  endif()
  gtest_discover_tests(test_${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${ARG_ENV}" TIMEOUT 300)
endfunction()
