#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12 and fetches the
# libjpeg-turbo source package into .cache/. Safe to run again and again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export DEBIAN_FRONTEND=noninteractive

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64 xvfb x11-utils xauth imagemagick
  googletest libgtest-dev libgmock-dev libasio-dev
  libjpeg62-turbo-dev libjpeg-turbo-progs dpkg-dev nasm
  nsis
  libcpp-httplib-dev pkg-config libcrypt-dev chromium chromium-driver python3
  haproxy
)
sudo_() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

# deb-src entries, so that apt-get source finds libjpeg-turbo.
src_list=/etc/apt/sources.list.d/velmor-deb-src.sources
need_update=0
if [ ! -f "$src_list" ] && [ -f /etc/apt/sources.list.d/debian.sources ]; then
  sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | sudo_ tee "$src_list" >/dev/null
  need_update=1
fi
if [ ${#missing[@]} -gt 0 ] || [ $need_update -eq 1 ]; then
  sudo_ apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_ apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# libjpeg-turbo source for the Windows build.
cache="$root/.cache"
src="$cache/libjpeg-turbo-src"
if [ ! -f "$src/CMakeLists.txt" ]; then
  mkdir -p "$cache/dl"
  ( cd "$cache/dl" && { ls libjpeg-turbo_*.orig.tar.gz >/dev/null 2>&1 || apt-get source --download-only -qq libjpeg-turbo; } )
  tarball=$(ls "$cache"/dl/libjpeg-turbo_*.orig.tar.gz | head -n 1)
  rm -rf "$src.tmp" && mkdir -p "$src.tmp"
  tar -xzf "$tarball" -C "$src.tmp" --strip-components=1
  rm -rf "$src" && mv "$src.tmp" "$src"
fi
echo "setup: ready"
