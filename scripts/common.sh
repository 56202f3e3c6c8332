# Shared by the run and test scripts: dependencies, the Wine prefix, a private
# X server. Source it from the repository root.
set -euo pipefail

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$REPO_ROOT"

log() { printf '== %s\n' "$*" >&2; }

# Installs what the build and the tests need and this machine lacks.
ensure_packages() {
    local want=("$@") missing=()
    for p in "${want[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

NATIVE_PACKAGES=(cmake make g++ googletest)
# libFuzzer and the sanitizer runtimes come with clang's runtime package.
FUZZ_PACKAGES=(cmake make clang libclang-rt-14-dev)
# xdotool resizes the window from the window manager's side, as a user's drag
# or a tiling manager does, past whatever minimum the program asks for.
WINDOWS_PACKAGES=(cmake make g++-mingw-w64-x86-64-posix googletest wine wine64 xvfb openbox imagemagick xdotool)
# The package's build reads the shared libraries' dependencies with
# dpkg-shlibdeps; its check reads the manual page with man.
PACKAGE_PACKAGES=(dpkg-dev file man-db)
# The HTML report is checked as a browser renders it.
REPORT_PACKAGES=(chromium)

# Configures and builds a preset; any further arguments go to the build (--target ...).
configure_and_build() {
    local preset=$1
    shift
    cmake --preset "$preset" >"build-$preset.log" 2>&1 || { cat "build-$preset.log"; return 1; }
    rm -f "build-$preset.log"
    cmake --build --preset "$preset" -j"$(nproc)" "$@"
}

# A private Wine prefix inside the build folder, created once.
setup_wine() {
    export WINEPREFIX="$REPO_ROOT/build/windows/wineprefix"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEARCH=win64
    if [ ! -f "$WINEPREFIX/.quorvel-ready" ]; then
        log "creating the Wine prefix (once per build folder)"
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w || true
        touch "$WINEPREFIX/.quorvel-ready"
    fi
    # wineserver and the program on one CPU: a registry call then costs a few
    # microseconds instead of a cross-CPU wake-up each.
    taskset -c 0 wineserver -p 2>/dev/null || true
}

stop_wine() { wineserver -k 2>/dev/null || true; }

# Whether Wine's X11 driver hands top-level windows to a window manager: "yes"
# on a desktop, "no" on the private Xvfb, which runs none. A managed window
# that is hidden before any manager has shown it makes Wine wait 2 s for one,
# inside the message box that hid it. The private X server runs a light window
# manager, as a desktop does, so windows are managed ("yes"). Wine reads the
# setting when a program starts; the prefix remembers the last one.
wine_window_manager() {
    local want=$1 marker="$WINEPREFIX/.quorvel-window-manager"
    [ "$(cat "$marker" 2>/dev/null)" = "$want" ] && return 0
    local key='HKCU\Software\Wine\X11 Driver'
    if [ "$want" = no ]; then
        wine reg add "$key" /v Managed /d N /f >/dev/null 2>&1
    else
        wine reg delete "$key" /v Managed /f >/dev/null 2>&1 || true
    fi
    printf '%s\n' "$want" >"$marker"
}

# The display's DPI as Wine's programs see it. Wine keeps the setting in two
# places and reads it when its server starts, so the server is restarted.
set_wine_dpi() {
    local key
    for key in 'HKCU\Control Panel\Desktop' 'HKCU\Software\Wine\Fonts'; do
        wine reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    done
    wineserver -k 2>/dev/null || true
    sleep 1
    taskset -c 0 wineserver -p 2>/dev/null || true
}

XVFB_PID=""
OPENBOX_PID=""
# Starts a private Xvfb on a free display with a window manager on it, and
# exports DISPLAY.
start_xvfb() {
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 2560x1600x24 -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        for _ in $(seq 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && break
            sleep 0.1
        done
        if kill -0 "$XVFB_PID" 2>/dev/null; then
            export DISPLAY=":$n"
            openbox --sm-disable >/dev/null 2>&1 &
            OPENBOX_PID=$!
            sleep 0.5
            wine_window_manager yes
            return 0
        fi
    done
    log "could not start Xvfb"
    return 1
}

stop_xvfb() {
    if [ -n "$OPENBOX_PID" ]; then
        kill "$OPENBOX_PID" 2>/dev/null || true
        wait "$OPENBOX_PID" 2>/dev/null || true
        OPENBOX_PID=""
    fi
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=""
    fi
}

# Unix path -> the Windows path Wine shows for it (Z: is the root).
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')"; }
