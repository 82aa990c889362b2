#!/usr/bin/env bash
# Builds Qt for Windows (static, MinGW-w64) from Debian's own Qt sources, once
# per machine, into a cache outside the checkout:
#
#   ${XDG_CACHE_HOME:-$HOME/.cache}/brackwell/qt-VERSION-TARGET-static-OPTIONS
#
# Debian carries no Qt for Windows, but it carries Qt's sources, a MinGW-w64
# cross compiler and Qt's host tools (moc, rcc, uic) of the same version. The
# sources come from a deb-src entry for the archive this machine's apt already
# uses, kept in a private apt configuration under the cache (the machine's own
# apt set-up is left as it is). The folder counts as done only once its
# install finished (a file .complete in it); run again, this does nothing.
#
#   ARCH=i686 bash scripts/windows-qt.sh     32-bit Windows instead of x86_64
#   bash scripts/windows-qt.sh --print-prefix   prints the folder and exits
#
# Prints the folder on its last line.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${ARCH:-x86_64}
case "$arch" in
  x86_64) target=x86_64-w64-mingw32; cross_pkg=g++-mingw-w64-x86-64-posix ;;
  i686) target=i686-w64-mingw32; cross_pkg=g++-mingw-w64-i686-posix ;;
  *) echo "windows-qt: ARCH must be x86_64 or i686" >&2; exit 2 ;;
esac

host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null || true)
qt_version=${host_version%%+*}
qt_version=${qt_version:-6.4.2}

# What Brackwell needs: Core, Gui, Widgets, the Windows platform and style
# plugins. No Svg: the Windows build carries its icons as PNG, drawn from the
# SVG files at build time (Debian's archive here does not serve qt6-svg's
# sources). Tablet events are left out: Debian's repack of
# the sources drops src/3rdparty/wintab, which the Windows plugin needs for them.
configure_options=(
  -release -static -nomake examples -nomake tests
  -no-opengl -no-dbus -no-feature-network -no-feature-sql -no-feature-printsupport
  -no-feature-concurrent -no-feature-xml -no-feature-tabletevent
  -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz
)
options_tag=$(printf '%s\n' "${configure_options[@]}" | sha1sum | cut -c1-8)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/brackwell
prefix=$cache/qt-$qt_version-$target-static-$options_tag

if [ "${1:-}" = "--print-prefix" ]; then
  echo "$prefix"
  exit 0
fi
if [ -f "$prefix/.complete" ]; then
  echo "windows-qt: Qt $qt_version for $target is built: $prefix"
  echo "$prefix"
  exit 0
fi

started=$SECONDS
say() { echo "windows-qt [$((SECONDS - started)) s]: $*"; }

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
needed=(dpkg-dev cmake ninja-build perl python3 qt6-base-dev qt6-base-dev-tools "$cross_pkg")
missing=()
for p in "${needed[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  say "installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

work=$cache/work-$qt_version-$target-$options_tag
mkdir -p "$work"

# A private apt configuration with deb-src entries for the archives the
# machine's apt uses.
apt_dir=$cache/apt
mkdir -p "$apt_dir/parts" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
: > "$apt_dir/sources.list"
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  sed -e 's/^Types:.*deb\b.*/Types: deb-src/' "$f" > "$apt_dir/parts/$(basename "$f")"
done
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$f" ] || continue
  sed -n -e 's/^deb \(.*\)$/deb-src \1/p' "$f" >> "$apt_dir/sources.list"
done
apt_options=(
  -o "Dir::Etc::SourceList=$apt_dir/sources.list"
  -o "Dir::Etc::SourceParts=$apt_dir/parts"
  -o "Dir::State::Lists=$apt_dir/lists"
  -o "Dir::Cache=$apt_dir/cache"
  -o "Debug::NoLocking=1"
)

fetch() { # source package -> prints the unpacked folder
  local pkg=$1 dir
  dir=$(find "$work" -maxdepth 1 -type d -name "$pkg-$qt_version*" | head -n 1)
  if [ -z "$dir" ]; then
    (cd "$work" && apt-get "${apt_options[@]}" source -qq "$pkg=$host_version" >/dev/null 2>&1 ||
                   apt-get "${apt_options[@]}" source -qq "$pkg" >/dev/null)
    dir=$(find "$work" -maxdepth 1 -type d -name "$pkg-$qt_version*" | head -n 1)
  fi
  [ -n "$dir" ] || { echo "windows-qt: no sources of $pkg" >&2; return 1; }
  echo "$dir"
}

say "fetching the sources of Qt $qt_version (qt6-base)"
apt-get "${apt_options[@]}" update -qq
base_src=$(fetch qt6-base)

toolchain=$work/mingw-$arch.cmake
cat > "$toolchain" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR $arch)
set(CMAKE_C_COMPILER $target-gcc-posix)
set(CMAKE_CXX_COMPILER $target-g++-posix)
set(CMAKE_RC_COMPILER $target-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$target)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

jobs=$(nproc)
base_build=$work/build-base
if [ ! -f "$base_build/.installed" ]; then
  say "configuring qtbase for $target"
  mkdir -p "$base_build"
  (cd "$base_build" && "$base_src/configure" -prefix "$prefix" \
      -platform win32-g++ -xplatform win32-g++ -qt-host-path /usr \
      "${configure_options[@]}" \
      -- -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
         -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -G Ninja) > "$work/configure-base.log" 2>&1 ||
    { tail -n 40 "$work/configure-base.log"; exit 1; }
  say "building qtbase (about half an hour on 2 cores; the log is $work/build-base.log)"
  cmake --build "$base_build" -j "$jobs" > "$work/build-base.log" 2>&1 || { tail -n 40 "$work/build-base.log"; exit 1; }
  cmake --install "$base_build" > "$work/install-base.log" 2>&1 || { tail -n 40 "$work/install-base.log"; exit 1; }
  touch "$base_build/.installed"
fi

printf 'Qt %s for %s, built %s in %d s\n' "$qt_version" "$target" "$(date -u +%FT%TZ)" "$((SECONDS - started))" > "$prefix/.complete"
say "done: $prefix"
# The sources and the build folders are no longer needed.
rm -rf "$work"
echo "$prefix"
