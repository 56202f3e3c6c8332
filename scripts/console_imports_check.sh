#!/usr/bin/env bash
# The console programs load no window system: under Wine, user32 alone adds
# about 5 MB to every run of quorvel-cli.exe and slows its start, and one
# stray call (a case mapping, a beep) is enough to pull it in.
source "$(dirname "$0")/common.sh"

passed=0
failed=0
for exe in "${@:-build/windows/quorvel-cli.exe}"; do
    imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]')
    window=$(echo "$imports" | grep -xE 'user32\.dll|gdi32\.dll|comctl32\.dll|comdlg32\.dll|shell32\.dll|ole32\.dll|uxtheme\.dll' || true)
    if [ -n "$window" ]; then
        log "$exe imports $(echo "$window" | tr '\n' ' ')"
        failed=$((failed + 1))
    else
        log "$exe imports only $(echo "$imports" | tr '\n' ' ')"
        passed=$((passed + 1))
    fi
done
echo "console imports: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
