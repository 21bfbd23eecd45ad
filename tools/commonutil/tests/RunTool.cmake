# Runs commonutil as a user would and checks what it did. Everything after -- is the command
# (with the emulator in front for a cross build):
#
#   cmake [-DSTATUS=N] [-DSTDOUT=REGEX] [-DSTDERR=REGEX] [-DQUIET=ON] [-DINPUT=FILE]
#         [-DREADONLY=FILE] [-DLINK=FILE] [-DCOPY_FROM=FILE -DCOPY_TO=FILE]
#         [-DFILE=FILE -DFILE_MATCHES=REGEX] [-DSAVE=FILE] [-DINSTALL=BUILD_DIR|PREFIX]
#         -P RunTool.cmake -- COMMAND...
#
# STATUS is the exit status expected (0 when not given); STDOUT and STDERR must match the
# streams, QUIET asks for an empty stderr. INPUT is fed to standard input, SAVE keeps standard
# output. Before the run: READONLY makes a read-only file holding "old", LINK a link to nothing,
# COPY_FROM is copied to COPY_TO, INSTALL installs a build into a prefix. After it, FILE must
# match FILE_MATCHES.
cmake_minimum_required(VERSION 3.25)

set(command)
set(after OFF)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE 1 ${last})
  if(after)
    list(APPEND command "${CMAKE_ARGV${i}}")
  elseif(CMAKE_ARGV${i} STREQUAL "--")
    set(after ON)
  endif()
endforeach()
if(NOT command)
  message(FATAL_ERROR "RunTool.cmake: no command after --")
endif()

if(DEFINED READONLY)
  if(EXISTS "${READONLY}")
    file(CHMOD "${READONLY}" PERMISSIONS OWNER_READ OWNER_WRITE)
  endif()
  file(WRITE "${READONLY}" "old\n")
  file(CHMOD "${READONLY}" PERMISSIONS OWNER_READ GROUP_READ WORLD_READ)
endif()
if(DEFINED LINK)
  file(REMOVE "${LINK}")
  file(CREATE_LINK "${LINK}.missing-target" "${LINK}" SYMBOLIC)
endif()
if(DEFINED COPY_FROM)
  file(REMOVE "${COPY_TO}")
  file(COPY_FILE "${COPY_FROM}" "${COPY_TO}")
endif()
if(DEFINED INSTALL)
  string(REPLACE "|" ";" install "${INSTALL}")
  list(GET install 0 build)
  list(GET install 1 prefix)
  file(REMOVE_RECURSE "${prefix}")
  execute_process(COMMAND "${CMAKE_COMMAND}" --install "${build}" --prefix "${prefix}"
    RESULT_VARIABLE installed OUTPUT_QUIET)
  if(NOT installed EQUAL 0)
    message(FATAL_ERROR "the install into ${prefix} failed")
  endif()
endif()

set(input)
if(DEFINED INPUT)
  set(input INPUT_FILE "${INPUT}")
endif()
execute_process(COMMAND ${command} ${input} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("status ${status}\n-- stdout:\n${out}\n-- stderr:\n${err}")

if(NOT DEFINED STATUS)
  set(STATUS 0)
endif()
set(wrong)
if(NOT status STREQUAL STATUS)
  list(APPEND wrong "exit status ${status}, expected ${STATUS}")
endif()
if(DEFINED STDOUT AND NOT out MATCHES "${STDOUT}")
  list(APPEND wrong "stdout does not match '${STDOUT}'")
endif()
if(DEFINED STDERR AND NOT err MATCHES "${STDERR}")
  list(APPEND wrong "stderr does not match '${STDERR}'")
endif()
if(QUIET AND NOT err STREQUAL "")
  list(APPEND wrong "stderr is not empty")
endif()
if(DEFINED SAVE)
  file(WRITE "${SAVE}" "${out}")
endif()
if(DEFINED FILE)
  file(READ "${FILE}" content)
  if(NOT content MATCHES "${FILE_MATCHES}")
    list(APPEND wrong "${FILE} does not match '${FILE_MATCHES}':\n${content}")
  endif()
endif()
if(wrong)
  list(JOIN wrong "\n" wrong)
  message(FATAL_ERROR "${wrong}")
endif()
