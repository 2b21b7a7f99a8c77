include(GoogleTest)

# vellora_add_test(name SOURCES a.cpp ... LIBS lib ...)
# One GoogleTest executable; every case becomes a CTest test of its own.
function(vellora_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} vellora_test_support GTest::gtest_main
                                        vellora_warnings)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${ARG_ENVIRONMENT}" TIMEOUT 120)
endfunction()
