#!/usr/bin/env bash
# Builds everything and runs every test: the portable core natively under
# ASan/UBSan, then the Windows build under Wine on a private X server, and
# last the Debian package, built, installed and run.
source "$(dirname "$0")/common.sh"

ensure_packages "${NATIVE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}" \
    "${REPORT_PACKAGES[@]}"

results=()
failed=0

./scripts/check_layers.sh || failed=1

log "native build (ASan/UBSan)"
configure_and_build native
log "Windows build (MinGW-w64)"
configure_and_build windows

log "native tests"
if ! ./build/native/quorvel_native_tests --gtest_brief=1 | tee build/native/tests.log; then failed=1; fi
results+=("native: $(grep -E '^\[  (PASSED|FAILED)  \] [0-9]+ test' build/native/tests.log | tail -2 | tr '\n' ' ' || true)")

log "fuzzing"
fuzz_passed=0
fuzz_failed=0
mkdir -p build
if ! ./scripts/fuzz.sh | tee build/fuzz.log; then failed=1; fi
fuzz_line=$(grep -E '^fuzz: [0-9]+ passed, [0-9]+ failed' build/fuzz.log | tail -1 || true)
if [ -n "$fuzz_line" ]; then
    fuzz_passed=$(echo "$fuzz_line" | grep -oE '[0-9]+ passed' | grep -oE '[0-9]+')
    fuzz_failed=$(echo "$fuzz_line" | grep -oE '[0-9]+ failed' | grep -oE '[0-9]+')
else
    fuzz_failed=1
fi
results+=("fuzz: $fuzz_passed targets passed, $fuzz_failed failed")

log "Windows tests under Wine"
setup_wine
ARTIFACTS="$REPO_ROOT/build/windows/test-artifacts"
rm -rf "$ARTIFACTS"
mkdir -p "$ARTIFACTS"
# A folder with a link to itself and one to a folder outside it: Wine shows a
# Unix symlink to a directory as a reparse point; the file scan enters the
# one that leads out, once, and never the one that leads back.
LINK_TREE=$(mktemp -d /tmp/quorvel-link-tree.XXXXXX)
LINK_OUTSIDE=$(mktemp -d /tmp/quorvel-link-outside.XXXXXX)
printf 'inside\n' >"$LINK_TREE/inside.txt"
printf 'outside\n' >"$LINK_OUTSIDE/outside.txt"
ln -s "$LINK_TREE" "$LINK_TREE/loop"
ln -s "$LINK_OUTSIDE" "$LINK_TREE/out"
trap 'stop_xvfb; stop_wine; rm -rf "$LINK_TREE" "$LINK_OUTSIDE"' EXIT
start_xvfb
export QUORVEL_TEST_LINK_TREE="$LINK_TREE"
export QUORVEL_TEST_ARTIFACTS
QUORVEL_TEST_ARTIFACTS=$(winpath "$ARTIFACTS")
# Wine's own services inherit the output of the first program they start
# with and outlive it, so the output goes to a file rather than a pipe.
win_rc=0
taskset -c 0 wine ./build/windows/quorvel_win_tests.exe --gtest_brief=1 >build/windows/tests.raw 2>&1 || win_rc=$?
tr -d '\r' <build/windows/tests.raw >build/windows/tests.log
cat build/windows/tests.log
[ "$win_rc" -eq 0 ] || failed=1
grep -qE '^\[  PASSED  \]' build/windows/tests.log || failed=1
if grep -qE '^\[  FAILED  \]' build/windows/tests.log; then failed=1; fi
results+=("windows: $(grep -E '^\[  (PASSED|FAILED)  \] [0-9]+ test' build/windows/tests.log | tail -2 | tr '\n' ' ' || true)")
# The window's surface again at 144 and 192 DPI, as a user with a larger
# display setting has it: every caption must still fit, at any size. Wine takes the setting
# when its server starts.
for dpi in 144 192; do
    log "window surface at $dpi DPI"
    set_wine_dpi "$dpi"
    mkdir -p "$ARTIFACTS/dpi$dpi"
    dpi_rc=0
    QUORVEL_TEST_ARTIFACTS=$(winpath "$ARTIFACTS/dpi$dpi") taskset -c 0 wine ./build/windows/quorvel_win_tests.exe \
        --gtest_brief=1 --gtest_filter='ResultSurface*:SmallWindow*:SettingsFiles*:About*' >"build/windows/tests-dpi$dpi.raw" 2>&1 ||
        dpi_rc=$?
    tr -d '\r' <"build/windows/tests-dpi$dpi.raw" >"build/windows/tests-dpi$dpi.log"
    set_wine_dpi 96
    cat "build/windows/tests-dpi$dpi.log"
    if [ "$dpi_rc" -ne 0 ] || ! grep -qE '^\[  PASSED  \]' "build/windows/tests-dpi$dpi.log"; then
        failed=1
        outside_failed_dpi=$((${outside_failed_dpi:-0} + 1))
        results+=("dpi $dpi: failed")
    else
        outside_passed_dpi=$((${outside_passed_dpi:-0} + 1))
        results+=("dpi $dpi: $(grep -E '^\[  PASSED  \] [0-9]+ test' "build/windows/tests-dpi$dpi.log")")
    fi
done
# Checks that stand outside the test exe, each ending in one "N passed, N failed" line.
outside_passed=0
outside_failed=0
for check in "cli_interrupt_check.sh build/windows/quorvel-cli.exe" "no_desktop_check.sh build/windows/quorvel.exe" \
    "prefix_differential.sh build/native/quorvel-cli build/windows/quorvel-cli.exe" \
    "background_check.sh build/windows/quorvel-cli.exe" "package_check.sh" "report_check.sh build/native/quorvel-cli" \
    "duplicate_entries_check.sh build/native/quorvel-cli" \
    "deep_key_check.sh build/windows/quorvel-cli.exe build/native/quorvel-cli" \
    "console_imports_check.sh build/windows/quorvel-cli.exe"; do
    log "outside check: $check"
    # shellcheck disable=SC2086
    line=$(./scripts/$check | tail -1) || failed=1
    echo "$line"
    outside_passed=$((outside_passed + $(echo "$line" | grep -oE '[0-9]+ passed' | grep -oE '[0-9]+' || echo 0)))
    outside_failed=$((outside_failed + $(echo "$line" | grep -oE '[0-9]+ failed' | grep -oE '[0-9]+' || echo 1)))
    results+=("$line")
done
for shot in "$ARTIFACTS"/*.bmp "$ARTIFACTS"/dpi*/*.bmp; do
    [ -e "$shot" ] && convert "$shot" "${shot%.bmp}.png" 2>/dev/null && rm -f "$shot"
done
ls "$ARTIFACTS" 2>/dev/null | sed 's/^/artifact: /' >&2 || true

passed=0
fails=0
for log_file in build/native/tests.log build/windows/tests.log; do
    p=$( (grep -oE '^\[  PASSED  \] [0-9]+' "$log_file" || true) | grep -oE '[0-9]+$' | tail -1 || true)
    f=$( (grep -oE '^\[  FAILED  \] [0-9]+ test' "$log_file" || true) | grep -oE '[0-9]+' | tail -1 || true)
    passed=$((passed + ${p:-0}))
    fails=$((fails + ${f:-0}))
done
passed=$((passed + fuzz_passed + outside_passed + ${outside_passed_dpi:-0}))
fails=$((fails + fuzz_failed + outside_failed + ${outside_failed_dpi:-0}))
printf '%s\n' "${results[@]}"
if [ "$failed" -ne 0 ] && [ "$fails" -eq 0 ]; then fails=1; fi
echo "$passed passed, $fails failed"
exit "$failed"
