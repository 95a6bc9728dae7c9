#!/bin/sh
# Compiles one source of the macOS backend or of its tests for syntax only, as a Mac compiles it:
# Objective-C++ under ARC (-fobjc-arc), C++ as C++, against stub headers that declare what the code
# uses with Apple's signatures and nullability (arc/). A cast between a CoreFoundation type and an
# object pointer without __bridge, or nil passed where Apple's headers take no nil, fails here,
# which the GNUstep pass (check.sh, without ARC) lets through.
# Usage: check-arc.sh SOURCE_ROOT FILE [FLAG...] (the flags, the project's warnings among them,
# are passed on, before the file; parameters that only a Mac's branch reads are not reported).
set -eu
root=$1
file=$2
shift 2
here=$(dirname "$0")
gcc_include=$(gcc -print-file-name=include)
case $file in
  *.mm) language="objective-c++ -fobjc-arc -fobjc-runtime=macosx-13.0 -fblocks" ;;
  *) language="c++" ;;
esac
# $language is split on purpose: the language and the flags that go with it.
# shellcheck disable=SC2086
exec clang++ -fsyntax-only -x $language -std=c++20 \
  -I"$root" -isystem "$here/arc" -isystem "$gcc_include" \
  "$@" -Wno-unused-parameter "$file"
