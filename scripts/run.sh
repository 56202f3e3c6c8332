#!/usr/bin/env bash
# Builds quorvel.exe, quorvel-cli.exe and the native quorvel-cli, and runs
# quorvel.exe under Wine. With a display, Quorvel opens on
# it. Without one (or with --demo), a private X server hosts the real window and
# the demo drives it through a whole cycle: collect, a sample install, collect
# final data, detect. It prints what the window shows and saves a screenshot.
source "$(dirname "$0")/common.sh"

ensure_packages "${NATIVE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"
log "Windows build (MinGW-w64)"
configure_and_build windows --target quorvel quorvel-cli quorvel_demo sample_installer >/dev/null
# The command-line programs for scripts, ready beside the window.
log "native quorvel-cli (release)"
configure_and_build native-release --target quorvel-cli quorvel_man >/dev/null
log "built: build/native-release/quorvel-cli (Linux, reads Wine prefixes), build/windows/quorvel-cli.exe"
setup_wine
trap 'stop_xvfb; stop_wine' EXIT

if [ -n "${DISPLAY:-}" ] && [ "${1:-}" != "--demo" ]; then
    log "starting Quorvel on $DISPLAY"
    wine_window_manager yes
    taskset -c 0 wine ./build/windows/quorvel.exe
    exit 0
fi

start_xvfb
OUT="$REPO_ROOT/build/windows/demo"
mkdir -p "$OUT"
rm -f "$OUT"/quorvel-demo.*
log "running the demo on a private X server ($DISPLAY)"
# Output to a file: Wine's services inherit a pipe and would hold it open.
status=0
taskset -c 0 wine ./build/windows/quorvel_demo.exe \
    "$(winpath "$REPO_ROOT/build/windows/quorvel.exe")" \
    "$(winpath "$REPO_ROOT/build/windows/sample_installer.exe")" \
    'C:\QuorvelDemo' \
    "$(winpath "$OUT/quorvel-demo.bmp")" >"$OUT/demo.log" 2>&1 || status=$?
tr -d '\r' <"$OUT/demo.log"
if [ -f "$OUT/quorvel-demo.bmp" ]; then
    convert "$OUT/quorvel-demo.bmp" "$OUT/quorvel-demo.png" && rm -f "$OUT/quorvel-demo.bmp"
    log "screenshot: $OUT/quorvel-demo.png"
fi
exit "$status"
