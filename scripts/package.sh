#!/usr/bin/env bash
# Builds the Debian package tallyhost_<version>_<arch>.deb with CPack from the build tree
# (${BUILD_DIR:-build}; the programs are stripped into the package) and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=${BUILD_DIR:-build}
scripts/build.sh -DCMAKE_INSTALL_PREFIX=/usr "$@"
rm -f "$build"/package/tallyhost_*.deb
(cd "$build" && cpack -G DEB --config CPackConfig.cmake >/dev/null)
deb=$(ls "$build"/package/tallyhost_*.deb)
echo "$deb"
