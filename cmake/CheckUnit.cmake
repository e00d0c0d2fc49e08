# Checks the service unit with systemd-analyze, pointed at the smsctl just
# built (ExecStart must exist), where systemd-analyze is installed.
#   cmake -DUNIT=<smsengine.service> -DSMSCTL=<build/bin/smsctl> -DWORK=<dir> -P CheckUnit.cmake
cmake_minimum_required(VERSION 3.25)

find_program(ANALYZE systemd-analyze)
if(NOT ANALYZE)
  message("skipped: systemd-analyze is not installed (Debian: package systemd)")
  return()
endif()
file(READ "${UNIT}" text)
string(REPLACE "/usr/bin/smsctl" "${SMSCTL}" text "${text}")
file(MAKE_DIRECTORY "${WORK}")
file(WRITE "${WORK}/smsengine.service" "${text}")
# --man=no: the man page is only installed with the package.
execute_process(COMMAND ${ANALYZE} verify --man=no "${WORK}/smsengine.service"
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0 OR out MATCHES "smsengine.service")
  message(FATAL_ERROR "systemd-analyze verify refused the unit:\n${out}")
endif()
message("systemd-analyze verify accepts smsengine.service")
