#!/usr/bin/env bash
# wine-test.sh LOADER PROGRAM ARGS...: runs one test program under Wine with its output through a
# file, then prints that file and ends with the program's exit code.
#
# A process that Wine starts holds its starter's standard output, whatever handles it is given:
# Wine's headless console host (conhost.exe) for a server's console, or a stand-in a test could not
# end. Now and then such a console host outlives the last process of its console; with the test's
# output a pipe of ctest's, ctest then waits for it until the test's timeout although the test has
# long ended. Through a file nothing waits for it, and the prefix's shutdown ends it.
loader=$1
shift
out=$(mktemp)
"$loader" "$@" >"$out" 2>&1
code=$?
cat "$out"
rm -f "$out"
exit "$code"
