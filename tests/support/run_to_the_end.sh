#!/bin/sh
# Runs a test program, given with the emulator that starts it, and passes it
# only when it ends with 0 and has written gtest's report, which it does
# last: under wine a process attached to a console window that closes can be
# ended with status 0 before it has finished.
#   run_to_the_end.sh EMULATOR PROGRAM [ARGS...]
case " $* " in
*" --gtest_list_tests "*) exec "$@" ;;  # a listing writes no report
esac
# Relative: the program may not read a POSIX path as absolute.
dir=$(mktemp -d ./test-report.XXXXXX) || exit 1
trap 'rm -rf "$dir"' EXIT
"$@" "--gtest_output=xml:$dir/report.xml"
status=$?
if [ "$status" -eq 0 ] && [ ! -s "$dir/report.xml" ]; then
  echo "the test ended with 0 before it finished: gtest wrote no report" >&2
  exit 1
fi
exit "$status"
