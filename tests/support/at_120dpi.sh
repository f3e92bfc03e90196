#!/usr/bin/env bash
# Runs a test program (and whatever it starts) with the display at 120 dots per inch: Wine reads
# LogPixels from the prefix when a process starts. The prefix goes back to 96 afterwards.
# Usage: at_120dpi.sh WINE-RUN PROGRAM [ARGUMENTS...]
run=$1
shift
key='HKCU\Control Panel\Desktop'
"$run" reg add "$key" /v LogPixels /t REG_DWORD /d 120 /f >/dev/null 2>&1
status=0
"$run" "$@" || status=$?
"$run" reg delete "$key" /v LogPixels /f >/dev/null 2>&1
exit $status
