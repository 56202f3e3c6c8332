#!/usr/bin/env bash
# Builds the Debian package quorvel_<version>_<arch>.deb: the native
# quorvel-cli (release), quorvel.exe and quorvel-cli.exe (MinGW), the quorvel
# launcher, the manual page and bash completion. Prints the package's path.
source "$(dirname "$0")/common.sh"

ensure_packages "${NATIVE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"

log "Windows build (MinGW-w64)"
configure_and_build windows --target quorvel quorvel-cli >&2
log "native release build"
cmake --preset native-release -DQUORVEL_WINDOWS_DIR="$REPO_ROOT/build/windows" >build-native-release.log 2>&1 ||
    { cat build-native-release.log >&2; exit 1; }
rm -f build-native-release.log
cmake --build --preset native-release -j"$(nproc)" --target quorvel-cli quorvel_man >&2

log "packaging"
rm -rf build/native-release/package
(cd build/native-release && cpack --config CPackConfig.cmake >cpack.log 2>&1) ||
    { cat build/native-release/cpack.log >&2; exit 1; }
deb=$(ls build/native-release/package/quorvel_*.deb)
log "package: $deb"
printf '%s\n' "$REPO_ROOT/$deb"
