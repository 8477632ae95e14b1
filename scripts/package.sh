#!/usr/bin/env bash
# Builds the Debian package of both programs: a Release build in
# build-package/ (or BUILD_DIR) for the prefix /usr, compiled with Debian's
# hardening flags, packed by `cpack -G DEB`. Prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

build_dir=${BUILD_DIR:-build-package}
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTRX5_BUILD_TESTS=OFF -DTRX5_BUILD_BENCH=OFF -DTRX5_SANITIZE=OFF \
  "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" >/dev/null
cmake --build "$build_dir" -j"$(nproc)" >&2
log=$(cd "$build_dir" && cpack -G DEB)
deb=$(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' <<<"$log")
if [ -z "$deb" ]; then
  echo "$log" >&2
  exit 1
fi
echo "$deb"
