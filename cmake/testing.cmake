# Every test of the project is registered through these two functions, in
# whichever CMakeLists builds what it runs: vellora_gtest for a GoogleTest
# program (one ctest entry per test it holds), vellora_test for any other
# command. With -DVELLORA_TESTS=OFF they register nothing.
if(VELLORA_TESTS)
  enable_testing()
  include(GoogleTest)
endif()

# vellora_gtest(TARGET [PREFIX prefix])
function(vellora_gtest target)
  if(NOT VELLORA_TESTS)
    return()
  endif()
  cmake_parse_arguments(arg "" "PREFIX" "" ${ARGN})
  gtest_discover_tests(${target} TEST_PREFIX "${arg_PREFIX}" DISCOVERY_TIMEOUT 60)
endfunction()

# vellora_test(NAME COMMAND command args... [WORKING_DIRECTORY dir] [TIMEOUT seconds])
# Other properties are set by the caller with set_tests_properties.
function(vellora_test name)
  if(NOT VELLORA_TESTS)
    return()
  endif()
  cmake_parse_arguments(arg "" "WORKING_DIRECTORY;TIMEOUT" "COMMAND" ${ARGN})
  if(arg_WORKING_DIRECTORY)
    add_test(NAME ${name} COMMAND ${arg_COMMAND} WORKING_DIRECTORY ${arg_WORKING_DIRECTORY})
  else()
    add_test(NAME ${name} COMMAND ${arg_COMMAND})
  endif()
  if(arg_TIMEOUT)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${arg_TIMEOUT})
  endif()
endfunction()
