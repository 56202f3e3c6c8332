#!/usr/bin/env bash
# Ctrl+C reaches a console program under Wine only as a signal from outside,
# so this check stands outside the test exe: quorvel-cli watch around an
# installer that would run for a minute is interrupted, and must end it and
# exit with 130. Expects the Wine environment of the test command.
set -uo pipefail
cli=$1
scratch=$(mktemp -d /tmp/quorvel-interrupt.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/tree"
(taskset -c 0 wine "$cli" watch --dir "Z:$scratch/tree" -- cmd.exe /c ping -n 60 127.0.0.1 '>NUL' \
    >/dev/null 2>"$scratch/stderr"; echo $? >"$scratch/rc") &
for _ in $(seq 100); do
    pgrep -f 'ping -n 60' >/dev/null && break
    sleep 0.1
done
# A user presses Ctrl+C while the installer works, not while it starts.
sleep 2
pkill -INT -f "quorvel-cli.exe watch --dir Z:$scratch" || true
for _ in $(seq 100); do
    [ -s "$scratch/rc" ] && break
    sleep 0.1
done
rc=$(cat "$scratch/rc" 2>/dev/null || echo none)
# Wine ends the job's processes a moment after the call returns.
for _ in $(seq 50); do
    pgrep -f 'ping -n 60' >/dev/null || break
    sleep 0.1
done
left=$(pgrep -fc 'ping -n 60' || true)
if [ "$rc" = 130 ] && [ "${left:-0}" = 0 ] && grep -q 'quorvel-cli: interrupted' "$scratch/stderr"; then
    echo "interrupt: 1 passed, 0 failed"
else
    echo "interrupt: exit code $rc, $left installer processes left, stderr: $(cat "$scratch/stderr")" >&2
    echo "interrupt: 0 passed, 1 failed"
    exit 1
fi
