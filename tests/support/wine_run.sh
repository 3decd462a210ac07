#!/usr/bin/env bash
# ctest's runner for the Windows test programs: runs "$@" (wine, the program
# and its arguments) and hands back the program's result.
#
# Wine 8 itself now and then dies of SIGSEGV while ending a process: its own
# second thread of every process is torn down after NtTerminateProcess and
# faults inside Wine's ntdll (seen under load, about once in a few hundred
# programs, with the program's work done and its output complete). A fault
# in the program itself is a Windows exception inside Wine, which ends with
# a Windows status, never with that signal. So a death by SIGSEGV after the
# program said that it passed, and nothing said that it failed, is counted
# as the pass it was, and said so on stderr; anything else stands.
set -uo pipefail

log=$(mktemp) || exit 2
trap 'rm -f "$log"' EXIT
"$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
# (Windows programs end their lines with CR LF.)
if ((status == 128 + 11)) && tail -n 3 "$log" | tr -d '\r' | grep -qE '^\[  PASSED  \]|: passed$' &&
   ! grep -q '^\[  FAILED  \]' "$log"; then
  echo "wine_run: Wine died of SIGSEGV while ending the process after the program passed; counted as passed" >&2
  exit 0
fi
exit "$status"
