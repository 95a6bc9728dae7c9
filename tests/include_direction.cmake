# Checks that the product's includes point one way. Each file under common/, platform/, launch/
# and probe/ belongs to the layer of the longest folder that names one, and may include only:
#
#   common/           common/
#   platform/         (the interfaces: the files directly in platform/) common/, platform/
#   platform/posix/   (the stand-in) common/, platform/, platform/posix/
#   platform/macos/   (the macOS backend) common/, platform/, platform/macos/
#   launch/           (tovrin) common/, the interfaces in platform/, launch/
#   probe/            (pelsor) common/, the interfaces in platform/, probe/
#
# No program reaches a backend, not even its entry procedure: `*_main.cc` asks for its services
# through `platform::make…Services()`, which the interface declares and the backend CMake links
# (PLATFORM_BACKEND) defines, so the build picks the backend and no include names it.
#
# What cannot slip past: every form (`#include "…"`, `#include <…>`, `#import`, `#include_next`, a
# directive continued over lines with `\`); every source extension (.h .hpp .cc .cpp .c .mm .m),
# and any other file in the layers, or a link, is refused rather than left unread. An include names its file
# from the root ("platform/probe_services.h"): `.` and `..`, an absolute path, a path that resolves
# in the including file's own folder, an include the preprocessor computes (`#include NAME`), and a file of the
# project that lies in no layer (tests/, fuzz/, an unknown folder under platform/) are refused.
# Last, no module (a header with its sources) reaches itself again through its includes.
# Usage: cmake -DSOURCE_DIR=<the project's root> -P include_direction.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<the project's root> -P ${CMAKE_CURRENT_LIST_FILE}")
endif()

# Longest first: a file belongs to the first layer whose folder holds it.
set(layers platform/posix platform/macos platform common launch probe)
set(allowed_common common)
set(allowed_platform common platform)
set(allowed_platform/posix common platform platform/posix)
set(allowed_platform/macos common platform platform/macos)
set(allowed_launch common platform launch)
set(allowed_probe common platform probe)
set(rule_common "common/")
set(rule_platform "common/ and platform/")
set(rule_platform/posix "common/, platform/ and platform/posix/")
set(rule_platform/macos "common/, platform/ and platform/macos/")
set(rule_launch "common/, the interfaces in platform/ and launch/")
set(rule_probe "common/, the interfaces in platform/ and probe/")
set(source_extensions h hpp cc cpp c mm m)

# The layer of a path from the root, or "" when it lies in none (platform/ holds only the
# interfaces and the two backends' folders).
function(layer_of path out)
  set(found "")
  foreach(layer IN LISTS layers)
    if(path MATCHES "^${layer}/(.*)$")
      if(NOT (layer STREQUAL "platform" AND CMAKE_MATCH_1 MATCHES "/"))
        set(found ${layer})
      endif()
      break()
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

# An include names a file of the project when its first folder is one at the root (the root is on
# every target's include path, so `<tests/x.h>` is found there just as "tests/x.h" is) or when the
# file is there.
file(GLOB root_entries RELATIVE ${SOURCE_DIR} LIST_DIRECTORIES true ${SOURCE_DIR}/*)
set(root_folders "")
foreach(entry IN LISTS root_entries)
  if(IS_DIRECTORY ${SOURCE_DIR}/${entry})
    list(APPEND root_folders ${entry})
  endif()
endforeach()

file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/common/* ${SOURCE_DIR}/platform/*
  ${SOURCE_DIR}/launch/* ${SOURCE_DIR}/probe/*)
if(NOT files)
  message(FATAL_ERROR "no file under ${SOURCE_DIR}/common, platform, launch or probe: "
    "SOURCE_DIR must be the project's root")
endif()

set(problems "")
set(modules "")
set(read 0)
foreach(file IN LISTS files)
  layer_of(${file} layer)
  if(NOT layer)
    list(APPEND problems "${file} lies in no layer (platform/ holds the interfaces, posix/ and macos/)")
    continue()
  endif()
  if(IS_SYMLINK ${SOURCE_DIR}/${file})
    list(APPEND problems "${file} is a link: a layer holds its own files")
    continue()
  endif()
  if(NOT file MATCHES "\\.([^./]+)$" OR NOT CMAKE_MATCH_1 IN_LIST source_extensions)
    list(JOIN source_extensions " ." extensions)
    list(APPEND problems "${file} is not a source this check reads (.${extensions})")
    continue()
  endif()
  math(EXPR read "${read} + 1")
  # A module is a header with its sources: the path without its extension.
  string(REGEX REPLACE "\\.[^./]+$" "" module ${file})
  list(APPEND modules ${module})
  get_filename_component(folder ${file} DIRECTORY)

  file(READ ${SOURCE_DIR}/${file} content)
  # Lines continued with a backslash are one line to the preprocessor; ";" would split the list.
  string(REGEX REPLACE "\\\\\r?\n" "" content "${content}")
  string(REPLACE ";" " " content "${content}")
  string(REGEX MATCHALL "(^|\n)[ \t]*#[ \t]*(include_next|include|import)[^\n]*" directives
    "${content}")
  foreach(directive IN LISTS directives)
    string(REGEX REPLACE "^\n?[ \t]*#[ \t]*(include_next|include|import)[ \t]*" "" operand
      "${directive}")
    string(STRIP "${operand}" operand)
    if(operand MATCHES "^\"([^\"]*)\"")
      set(quoted TRUE)
    elseif(operand MATCHES "^<([^>]*)>")
      set(quoted FALSE)
    else()
      list(APPEND problems "${file}: `${operand}` is an include the preprocessor computes: name the file")
      continue()
    endif()
    set(included ${CMAKE_MATCH_1})

    if(included MATCHES "^/")
      list(APPEND problems "${file} includes ${included}: an absolute path, name the file from the root")
      continue()
    endif()
    if(included MATCHES "(^|/)\\.\\.?(/|$)")
      list(APPEND problems "${file} includes ${included}: `.` and `..` are refused, name the file from the root")
      continue()
    endif()
    if(quoted AND folder AND EXISTS ${SOURCE_DIR}/${folder}/${included})
      list(APPEND problems
        "${file} includes ${included}, found in its own folder as ${folder}/${included}: name the file from the root")
      continue()
    endif()
    set(in_project FALSE)
    if(included MATCHES "^([^/]+)/" AND CMAKE_MATCH_1 IN_LIST root_folders)
      set(in_project TRUE)
    elseif(EXISTS ${SOURCE_DIR}/${included})
      set(in_project TRUE)
    endif()
    if(NOT in_project)
      continue()  # the system's or a library's
    endif()

    layer_of(${included} included_layer)
    if(NOT included_layer)
      list(APPEND problems "${file} includes ${included}, which lies in no layer of the product")
      continue()
    endif()
    if(NOT included_layer IN_LIST allowed_${layer})
      list(APPEND problems "${file} includes ${included}: ${layer}/ may include only ${rule_${layer}}")
    endif()
    string(REGEX REPLACE "\\.[^./]+$" "" included_module ${included})
    if(NOT included_module STREQUAL module)
      list(APPEND uses_${module} ${included_module})
    endif()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES modules)

# Takes away, round after round, every module whose includes have all been taken away already;
# what is left when no round takes any is held by a cycle.
set(left ${modules})
while(TRUE)
  set(taken "")
  foreach(module IN LISTS left)
    set(ready TRUE)
    foreach(used IN LISTS uses_${module})
      if(used IN_LIST left)
        set(ready FALSE)
        break()
      endif()
    endforeach()
    if(ready)
      list(APPEND taken ${module})
    endif()
  endforeach()
  if(NOT taken)
    break()
  endif()
  list(REMOVE_ITEM left ${taken})
endwhile()
# Then takes away what no module left includes: what only depends on a cycle is not part of it.
while(TRUE)
  set(taken "")
  foreach(module IN LISTS left)
    set(used_by_left FALSE)
    foreach(other IN LISTS left)
      if(module IN_LIST uses_${other})
        set(used_by_left TRUE)
        break()
      endif()
    endforeach()
    if(NOT used_by_left)
      list(APPEND taken ${module})
    endif()
  endforeach()
  if(NOT taken)
    break()
  endif()
  list(REMOVE_ITEM left ${taken})
endwhile()
foreach(module IN LISTS left)
  set(within "")
  foreach(used IN LISTS uses_${module})
    if(used IN_LIST left)
      list(APPEND within ${used})
    endif()
  endforeach()
  list(JOIN within ", " within)
  list(APPEND problems "${module} is in an include cycle: it includes ${within}")
endforeach()

list(LENGTH modules count)
if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "dependencies that point the wrong way:\n  ${text}")
endif()
message(STATUS "${read} files in ${count} modules, every include points one way")
