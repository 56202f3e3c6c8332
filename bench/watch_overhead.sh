#!/usr/bin/env bash
# What watch adds to an installer that does nothing: `quorvel-cli watch` of
# HKEY_CURRENT_USER\Software and C:\users around `cmd.exe /c exit` (run by the
# prefix's wine, as a user types it), against the bare
# `wine cmd /c exit; wineserver -w` in the same prefix. Both wait for the
# wineserver to end, as watch must before it reads the registry files. Prints
# the median of 5 of each and their ratio, in one run.
# Run from the repository root: bench/watch_overhead.sh [path/to/quorvel-cli]
source "$(dirname "$0")/../scripts/common.sh"

cli=${1:-build/native-release/quorvel-cli}
if [ ! -x "$cli" ]; then
    ensure_packages "${NATIVE_PACKAGES[@]}"
    configure_and_build native-release --target quorvel-cli >&2
fi
ensure_packages wine wine64
setup_wine
# setup_wine leaves a persistent server, which never ends: this bench needs
# one that ends when its last program has.
wineserver -k 2>/dev/null || true
wineserver -w
work=$(mktemp -d /tmp/quorvel-watch-bench.XXXXXX)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

runs=5
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
seconds() {  # seconds COMMAND...: the wall time of one run
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
bare() { wine cmd /c exit; wineserver -w; }
watched() {
    "$cli" watch --quiet --prefix "$WINEPREFIX" --reg 'HKCU\Software' --dir 'C:\users' -o "$work/out.txt" \
        -- cmd.exe /c exit
}
# Wine's first start in a while reads its libraries from the disk: once each, untimed.
bare >/dev/null 2>&1
watched >/dev/null 2>&1 || true
bare_times=()
watch_times=()
for _ in $(seq "$runs"); do
    bare_times+=("$(seconds bare)")
    watch_times+=("$(seconds watched)")
done
bare_median=$(printf '%s\n' "${bare_times[@]}" | median)
watch_median=$(printf '%s\n' "${watch_times[@]}" | median)
printf 'do-nothing install, median of %d: wine cmd /c exit; wineserver -w %.3f s, quorvel-cli watch %.3f s: %.2fx\n' \
    "$runs" "$bare_median" "$watch_median" "$(awk -v a="$watch_median" -v b="$bare_median" 'BEGIN { print a / b }')"
