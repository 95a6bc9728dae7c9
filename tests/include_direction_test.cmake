# The dependency check (include_direction.cmake) over small trees written at test time: a clean
# tree, which draws every arrow a layer may draw, passes; each case below adds or replaces a file or
# two of it and must fail the check with a message that names what is wrong.
# tests/CMakeLists.txt includes this file for the table and makes one test of each case; a test
# runs: cmake -DCASE=<name> -DWORK_DIR=<a folder of its own> -P include_direction_test.cmake

# The clean tree: path, then content, for each file (no content may hold a semicolon, which would
# split the list).
set(include_direction_clean_tree
  common/utf8.h [=[#pragma once
#include <string>]=]
  common/utf8.cc [=[#include "common/utf8.h"]=]
  platform/launcher_services.h [=[#pragma once
#include <memory>
#include "common/utf8.h"]=]
  platform/probe_services.h [=[#pragma once
#include <common/utf8.h>]=]
  platform/posix/posix_open.h [=[#pragma once
#include "platform/launcher_services.h"]=]
  platform/posix/posix_open.cc [=[#include "platform/posix/posix_open.h"
#include <spawn.h>
#include <plist/plist.h>
#include "common/utf8.h"]=]
  platform/macos/macos_text.h [=[#pragma once
#import <Foundation/Foundation.h>]=]
  platform/macos/macos_workspace.mm [=[#import <AppKit/AppKit.h>
#include "platform/launcher_services.h"
#import "platform/macos/macos_text.h"]=]
  launch/launcher.h [=[#pragma once
#include "platform/launcher_services.h"]=]
  launch/launcher.cc [=[#include "launch/launcher.h"
  #  include   <common/utf8.h>
// #include "platform/posix/posix_open.h" in a comment is not an include]=]
  launch/tovrin_main.cc [=[#include "launch/launcher.h"
// its services come from platform::makeLauncherServices(), defined by the backend CMake links]=]
  probe/probe.h [=[#pragma once
#include "platform/probe_services.h"]=]
  probe/pelsor_main.cc [=[#include "probe/probe.h"]=]
  # Folders of the project that are no layer, which the product must not include.
  tests/support/child.h [=[#pragma once]=]
  fuzz/check.h [=[#pragma once]=])

# Each case: the files it writes over the clean tree (the content "LINK:path" makes a symbolic link
# to that file of the tree), and a regular expression its failure must match ("" for a tree that
# passes).
set(include_direction_cases
  clean
  core_to_backend backend_to_program_angled parent_path backend_to_backend interface_to_backend
  hpp cpp c objective_c
  program_to_program common_to_platform absolute_path relative_to_own_folder link computed
  continued_line test_code unknown_platform_folder unknown_extension cycle)

set(case_clean "")
set(expect_clean "")
set(case_core_to_backend launch/launcher.cc [=[#include "platform/posix/posix_open.h"]=])
set(expect_core_to_backend [=[launch/launcher\.cc includes platform/posix/posix_open\.h: launch/ may include only common/, the interfaces in platform/ and launch/]=])
set(case_backend_to_program_angled platform/posix/posix_open.cc [=[#include <launch/launcher.h>]=])
set(expect_backend_to_program_angled [=[platform/posix/posix_open\.cc includes launch/launcher\.h: platform/posix/ may include only common/, platform/ and platform/posix/]=])
set(case_parent_path platform/posix/posix_open.cc [=[#include "../../launch/launcher.h"]=])
set(expect_parent_path [=[platform/posix/posix_open\.cc includes \.\./\.\./launch/launcher\.h: `\.` and `\.\.` are refused]=])
set(case_backend_to_backend platform/macos/macos_workspace.mm [=[#import "platform/posix/posix_open.h"]=])
set(expect_backend_to_backend [=[platform/macos/macos_workspace\.mm includes platform/posix/posix_open\.h: platform/macos/ may include only common/, platform/ and platform/macos/]=])
set(case_interface_to_backend platform/probe_services.h [=[#include "platform/macos/macos_text.h"]=])
set(expect_interface_to_backend [=[platform/probe_services\.h includes platform/macos/macos_text\.h: platform/ may include only common/ and platform/]=])
# Every source extension is read.
set(case_hpp launch/table.hpp [=[#include "platform/posix/posix_open.h"]=])
set(expect_hpp [=[launch/table\.hpp includes platform/posix/posix_open\.h: launch/]=])
set(case_cpp probe/table.cpp [=[#include "platform/macos/macos_text.h"]=])
set(expect_cpp [=[probe/table\.cpp includes platform/macos/macos_text\.h: probe/]=])
set(case_c common/table.c [=[#include "platform/launcher_services.h"]=])
set(expect_c [=[common/table\.c includes platform/launcher_services\.h: common/ may include only common/]=])
set(case_objective_c platform/macos/macos_table.m [=[#import <probe/probe.h>]=])
set(expect_objective_c [=[platform/macos/macos_table\.m includes probe/probe\.h: platform/macos/]=])
set(case_program_to_program probe/probe.h [=[#include "launch/launcher.h"]=])
set(expect_program_to_program [=[probe/probe\.h includes launch/launcher\.h: probe/ may include only]=])
set(case_common_to_platform common/utf8.cc [=[#include "platform/probe_services.h"]=])
set(expect_common_to_platform [=[common/utf8\.cc includes platform/probe_services\.h: common/ may include only common/]=])
set(case_absolute_path launch/launcher.cc "#include \"${WORK_DIR}/platform/posix/posix_open.h\"")
set(expect_absolute_path [=[launch/launcher\.cc includes /.*/platform/posix/posix_open\.h: an absolute path]=])
# A header in the program's own folder that is the backend's, through a link.
set(case_link launch/backend.h LINK:platform/posix/posix_open.h)
set(expect_link [=[launch/backend\.h is a link]=])
# "posix/posix_open.h" from platform/ is platform/posix/posix_open.h to the compiler.
set(case_relative_to_own_folder platform/launcher_services.h [=[#include "posix/posix_open.h"]=])
set(expect_relative_to_own_folder [=[platform/launcher_services\.h includes posix/posix_open\.h, found in its own folder as platform/posix/posix_open\.h: name the file from the root]=])
set(case_computed launch/launcher.cc [=[#define BACKEND "platform/posix/posix_open.h"
#include BACKEND]=])
set(expect_computed [=[launch/launcher\.cc: `BACKEND` is an include the preprocessor computes]=])
set(case_continued_line launch/launcher.cc "#include \\\n  \"platform/posix/posix_open.h\"")
set(expect_continued_line [=[launch/launcher\.cc includes platform/posix/posix_open\.h: launch/]=])
set(case_test_code launch/launcher.cc [=[#include <tests/support/child.h>]=])
set(expect_test_code [=[launch/launcher\.cc includes tests/support/child\.h, which lies in no layer]=])
# A third backend's folder is no interface.
set(case_unknown_platform_folder platform/linux/linux_open.h [=[#pragma once]=]
  launch/launcher.cc [=[#include "platform/linux/linux_open.h"]=])
set(expect_unknown_platform_folder [=[launch/launcher\.cc includes platform/linux/linux_open\.h, which lies in no layer.*platform/linux/linux_open\.h lies in no layer]=])
set(case_unknown_extension launch/table.inc [=[#include "platform/posix/posix_open.h"]=])
set(expect_unknown_extension [=[launch/table\.inc is not a source this check reads]=])
set(case_cycle common/utf8.h [=[#pragma once
#include "common/text.h"]=] common/text.h [=[#pragma once
#include "common/utf8.h"]=])
set(expect_cycle [=[common/text is in an include cycle: it includes common/utf8.*common/utf8 is in an include cycle: it includes common/text]=])

if(NOT CMAKE_SCRIPT_MODE_FILE)
  return()  # included for the table
endif()

if(NOT DEFINED case_${CASE} OR NOT WORK_DIR)
  message(FATAL_ERROR "usage: cmake -DCASE=<one of: ${include_direction_cases}> -DWORK_DIR=<folder> -P ${CMAKE_CURRENT_LIST_FILE}")
endif()

function(write_files)
  while(ARGN)
    list(POP_FRONT ARGN path content)
    if(NOT path MATCHES "^[a-z0-9_/]+\\.[a-z]+$")
      message(FATAL_ERROR "the table is out of step: \"${path}\" is no file name")
    endif()
    if(content MATCHES "^LINK:(.*)$")
      file(CREATE_LINK ${WORK_DIR}/${CMAKE_MATCH_1} ${WORK_DIR}/${path} SYMBOLIC)
    else()
      file(WRITE ${WORK_DIR}/${path} "${content}\n")
    endif()
  endwhile()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
write_files(${include_direction_clean_tree})
write_files(${case_${CASE}})
execute_process(
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${WORK_DIR}
    -P ${CMAKE_CURRENT_LIST_DIR}/include_direction.cmake
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
message("${output}")
if(expect_${CASE} STREQUAL "")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${CASE}: the check refused a tree it must pass")
  endif()
elseif(status EQUAL 0)
  message(FATAL_ERROR "${CASE}: the check passed a tree it must refuse")
elseif(NOT output MATCHES "${expect_${CASE}}")
  message(FATAL_ERROR "${CASE}: the check failed, but not with: ${expect_${CASE}}")
endif()
