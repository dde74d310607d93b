# SPDX-License-Identifier: GPL-2.0-or-later
#
# velmorant_add_test(NAME name SOURCES a.cpp ... [LIBS libs...] [LABELS labels...]
#                    [X11] [TIMEOUT seconds] [ENV VAR=value...] [ARGS args...]
#                    [COMMAND cmd args...])
#
# Builds a Qt Test program (unless COMMAND is given) and registers it with CTest.
# Every test runs through scripts/run-test.sh, which gives it a private TMPDIR
# and XDG data/config folders: the single-instance socket name and config.json
# are machine-wide, and parallel tests must not meet there.
# X11 tests run on the shared Xvfb of the "xvfb" fixture, one at a time;
# the others use Qt's offscreen platform.

set(VELMORANT_RUN_TEST ${CMAKE_SOURCE_DIR}/scripts/run-test.sh)
set(VELMORANT_XVFB_STATE ${CMAKE_BINARY_DIR}/xvfb-fixture)

add_test(NAME xvfb_start COMMAND ${CMAKE_SOURCE_DIR}/scripts/xvfb-fixture.sh start ${VELMORANT_XVFB_STATE})
add_test(NAME xvfb_stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/xvfb-fixture.sh stop ${VELMORANT_XVFB_STATE})
set_tests_properties(xvfb_start PROPERTIES FIXTURES_SETUP xvfb LABELS x11)
set_tests_properties(xvfb_stop PROPERTIES FIXTURES_CLEANUP xvfb LABELS x11)

function(velmorant_add_test)
  cmake_parse_arguments(T "X11" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENV;ARGS;COMMAND" ${ARGN})
  if(NOT T_COMMAND)
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE Qt5::Test ${T_LIBS})
    velmorant_warnings(${T_NAME})
    set(T_COMMAND $<TARGET_FILE:${T_NAME}> ${T_ARGS})
  endif()
  if(T_X11)
    add_test(NAME ${T_NAME} COMMAND ${VELMORANT_RUN_TEST} --display ${VELMORANT_XVFB_STATE} -- ${T_COMMAND})
    set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED xvfb RESOURCE_LOCK xdisplay)
    list(APPEND T_LABELS x11)
  else()
    add_test(NAME ${T_NAME} COMMAND ${VELMORANT_RUN_TEST} -- ${T_COMMAND})
    list(APPEND T_ENV QT_QPA_PLATFORM=offscreen)
  endif()
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  if(VELMORANT_SANITIZE)
    # Instrumented code runs several times slower.
    math(EXPR T_TIMEOUT "${T_TIMEOUT} * 3")
  endif()
  list(APPEND T_ENV VELMORANT_BUILD_DIR=${CMAKE_BINARY_DIR} VELMORANT_SOURCE_DIR=${CMAKE_SOURCE_DIR})
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT}
                       ENVIRONMENT "${T_ENV}")
endfunction()
