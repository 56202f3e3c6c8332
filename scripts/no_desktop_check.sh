#!/usr/bin/env bash
# When Wine's desktop cannot start, the main window cannot be created: the
# program must then end with exit code 1 and a line on standard error, not
# wait for good on a message loop with no window. Expects the Wine
# environment of the test command; runs quorvel.exe with no display at all.
set -uo pipefail
exe=$1
key='HKCU\SOFTWARE\Marrowby'
# Agreed before, so that the start goes on to the window.
previous=$(wine reg query "$key" /v QuorvelFirstTime 2>/dev/null | tr -d '\r' | awk '/QuorvelFirstTime/ {print $3}')
wine reg add "$key" /v QuorvelFirstTime /d No /f >/dev/null 2>&1
scratch=$(mktemp)
rc=0
(unset DISPLAY; timeout 60 taskset -c 0 wine "$exe" >/dev/null 2>"$scratch") || rc=$?
if [ -n "$previous" ]; then
    wine reg add "$key" /v QuorvelFirstTime /d "$previous" /f >/dev/null 2>&1
else
    wine reg delete "$key" /v QuorvelFirstTime /f >/dev/null 2>&1
fi
if [ "$rc" = 1 ] && grep -q 'quorvel: the main window could not be created' "$scratch"; then
    echo "no desktop: 1 passed, 0 failed"
else
    echo "no desktop: exit code $rc (124: still running after 60 s), stderr: $(grep -v '^[0-9a-f]*:' "$scratch" | head -3)" >&2
    echo "no desktop: 0 passed, 1 failed"
    rm -f "$scratch"
    exit 1
fi
rm -f "$scratch"
