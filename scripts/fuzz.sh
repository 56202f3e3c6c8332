#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for its share of 60 s
# from the seeds in fuzz/corpus/<name>/. A crash, a hang or a sanitizer report
# fails the run. Prints "fuzz: N passed, N failed" for the test command.
source "$(dirname "$0")/common.sh"

ensure_packages "${FUZZ_PACKAGES[@]}"
TOTAL_SECONDS=${QUORVEL_FUZZ_SECONDS:-60}

log "fuzz build (clang, libFuzzer, ASan/UBSan)"
configure_and_build fuzz

targets=(build/fuzz/*_fuzz)
share=$((TOTAL_SECONDS / ${#targets[@]}))
[ "$share" -ge 1 ] || share=1
work=build/fuzz/run
rm -rf "$work"
mkdir -p "$work/artifacts" "$work/tmp"
passed=0
failed=0
for target in "${targets[@]}"; do
    name=$(basename "$target" _fuzz)
    mkdir -p "$work/corpus-$name"
    seeds=fuzz/corpus/$name
    [ -d "$seeds" ] || seeds=""
    # New inputs go to the scratch corpus; the seeds in the repository stay as they are.
    # A snapshot file of a few kilobytes must never unfold into much memory.
    rss=2048
    [ "$name" = snapshot_file ] && rss=256
    if TMPDIR="$REPO_ROOT/$work/tmp" "$target" -max_total_time="$share" -timeout=10 -rss_limit_mb="$rss" \
        -print_final_stats=0 -artifact_prefix="$work/artifacts/$name-" "$work/corpus-$name" $seeds \
        >"$work/$name.log" 2>&1; then
        log "fuzz $name: $(grep -oE '#[0-9]+.*(DONE|pulse).*' "$work/$name.log" | tail -1)"
        passed=$((passed + 1))
    else
        tail -40 "$work/$name.log" >&2
        log "fuzz $name FAILED (inputs in $work/artifacts)"
        failed=$((failed + 1))
    fi
done
rm -rf "$work/tmp"
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
