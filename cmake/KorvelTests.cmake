# korvel_add_test(NAME <target> SOURCES <file>... [LIBS <library>...] [ENVIRONMENT <VAR=value>...] [GUI] [SERVER]
#                 [KEYRING])
#
# One GoogleTest program whose cases CTest finds by listing them when the tests run, each case run on its own
# and named "<target>.<Suite>.<Case>".
#   GUI      the window's widgets offscreen, with a QApplication and the session list around the cases
#   SERVER   starts real korvel-refserver processes (testing/RefServer.h)
# Each case is labelled "gui", "server" or "unit".
#   KEYRING  every case in a private Secret Service of its own (testing/with-secret-service.sh)
function(korvel_add_test)
  cmake_parse_arguments(PARSE_ARGV 0 TEST "GUI;SERVER;KEYRING" "NAME" "SOURCES;LIBS;ENVIRONMENT")
  add_executable(${TEST_NAME} ${TEST_SOURCES})
  target_link_libraries(${TEST_NAME} PRIVATE ${TEST_LIBS} GTest::gmock)
  set(label unit)
  # The journal of changes goes to the build tree, never to the account's own.
  set(environment XDG_STATE_HOME=${CMAKE_CURRENT_BINARY_DIR}/state ${TEST_ENVIRONMENT})
  if(TEST_SERVER)
    target_link_libraries(${TEST_NAME} PRIVATE korvel_testing)
    set(label server)
  endif()
  if(TEST_GUI)
    target_link_libraries(${TEST_NAME} PRIVATE korvel_widget_test_main)
    set(label gui)
    list(APPEND environment QT_QPA_PLATFORM=offscreen)
  else()
    target_link_libraries(${TEST_NAME} PRIVATE GTest::gtest_main)
  endif()
  if(TEST_KEYRING)
    set_property(TARGET ${TEST_NAME} PROPERTY CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/testing/with-secret-service.sh)
  endif()
  # Escaped so that the list stays one property value when the cases are discovered.
  string(REPLACE ";" "\\;" environment "${environment}")
  gtest_discover_tests(${TEST_NAME} TEST_PREFIX "${TEST_NAME}." DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES LABELS ${label} ENVIRONMENT "${environment}")
endfunction()
