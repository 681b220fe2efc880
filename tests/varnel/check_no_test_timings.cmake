# The shipped libVarnel.so must not read test timings from the environment: none of
# the VARNEL_TEST_ variable names may be in it. The test build, which reads them,
# shows that the search finds them where they are.
# cmake -DLIBRARY=libVarnel.so -DTEST_BUILD=test-build/libVarnel.so -P check_no_test_timings.cmake
file(STRINGS ${TEST_BUILD} control REGEX "VARNEL_TEST_")
if(NOT control)
  message(FATAL_ERROR "no VARNEL_TEST_ name found in the test build ${TEST_BUILD}")
endif()
file(STRINGS ${LIBRARY} found REGEX "VARNEL_TEST_")
if(found)
  message(FATAL_ERROR "${LIBRARY} reads test timings: ${found}")
endif()
message(STATUS "${LIBRARY} has no test timings")
