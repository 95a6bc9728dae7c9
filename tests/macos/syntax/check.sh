#!/bin/sh
# Compiles one source of the macOS backend for syntax only, against GNUstep's Foundation and AppKit
# headers and the declarations of what GNUstep lacks. Usage: check.sh SOURCE_ROOT FILE [FLAG...]
# (the flags, the project's warnings among them, are passed on to the compiler, before the file;
# parameters that only a Mac's branch reads are not reported).
set -eu
root=$1
file=$2
shift 2
here=$(dirname "$0")
gcc_include=$(gcc -print-file-name=include)
exec clang++ -fsyntax-only -x objective-c++ -std=c++20 -fblocks -fobjc-runtime=gcc \
  -I"$root" -I"$here/include" -isystem "$gcc_include" -isystem /usr/include/GNUstep \
  -include "$here/macos13_apis.h" \
  "$@" -Wno-unused-parameter "$file"
