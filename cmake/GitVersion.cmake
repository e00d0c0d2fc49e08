# Writes Version.cpp from its template with the checkout's `git describe`, at
# every build, touching the file only when the text changes.
#   cmake -DSOURCE_DIR=<src> -DTEMPLATE=<Version.cpp.in> -DOUTPUT=<Version.cpp> -DPROJECT_VERSION=<x.y.z> -P
cmake_minimum_required(VERSION 3.25)
set(SMS_GIT_DESCRIBE "")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(COMMAND ${GIT_EXECUTABLE} describe --always --dirty --tags
    WORKING_DIRECTORY "${SOURCE_DIR}" OUTPUT_VARIABLE SMS_GIT_DESCRIBE
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
