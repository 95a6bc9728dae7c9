# Checks that THIRD_PARTY_NOTICES.md holds, word for word, each licence file of third-party code
# that this build compiled into the programs from a fetched release: a new release of it with
# another copyright year or licence fails here until the notices are brought up to date.
# Lines are compared without trailing blanks (an editor may strip them).
# Usage: cmake -DNOTICES=<THIRD_PARTY_NOTICES.md> -DLICENSES=<file;file...>
#          [-DNOT_FETCHED=<name;name...>] -P third_party_notices.cmake
# NOT_FETCHED names code that the build took from the system instead of its pinned release: the
# notices name the pinned release, so that fails too.
cmake_minimum_required(VERSION 3.25)

function(read_normalised path out)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "no file ${path}")
  endif()
  file(READ "${path}" text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REGEX REPLACE "[ \t]+\n" "\n" text "${text}")
  string(STRIP "${text}" text)
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

if(NOT_FETCHED)
  list(JOIN NOT_FETCHED ", " names)
  message(FATAL_ERROR "${names}: taken from this machine, not the pinned release that ${NOTICES} "
    "names; a build to ship fetches it (-DFETCHCONTENT_TRY_FIND_PACKAGE_MODE=NEVER)")
endif()
if(NOT LICENSES)
  message(FATAL_ERROR "no licence files given (-DLICENSES=...)")
endif()
read_normalised("${NOTICES}" notices)
set(missing "")
foreach(licence IN LISTS LICENSES)
  read_normalised("${licence}" text)
  string(FIND "${notices}" "${text}" at)
  if(at EQUAL -1)
    list(APPEND missing "${licence}")
  endif()
endforeach()
if(missing)
  list(JOIN missing "\n  " missing)
  message(FATAL_ERROR "the text of these licence files is not in ${NOTICES}:\n  ${missing}")
endif()
list(LENGTH LICENSES count)
message(STATUS "${NOTICES} holds the text of ${count} licence file(s)")
