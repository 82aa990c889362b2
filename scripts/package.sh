#!/usr/bin/env bash
# Builds the Debian package brackwell_VERSION_ARCH.deb with Debian's hardening
# flags and installs it with apt-get, which brings in what it depends on.
#
#   BUILD_DIR   build folder (default build-deb at the top of the tree)
#   NO_INSTALL  set to 1 to build the package without installing it
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build-deb}
bash "$root/scripts/setup.sh"

cd "$root"
# -Wno-restrict: g++ 12 warns falsely inside std::string concatenation once
# _FORTIFY_SOURCE is on.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DBRACKWELL_BUILD_TESTS=OFF -DBRACKWELL_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS) -Wno-restrict" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/package/brackwell_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/package/brackwell_*.deb)
echo "package: $deb"

if [ "${NO_INSTALL:-0}" != 1 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq -o DPkg::Lock::Timeout=600 --reinstall "$deb" >/dev/null
  echo "package: installed $(dpkg-query -W -f='${Package} ${Version}' brackwell)"
fi
