#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on Debian 12, as root.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  cmake make g++ g++-multilib mingw-w64 doctest-dev
  wine wine32 wine64 qemu-user-static qemu-system-x86 busybox-static
  libsndfile1-dev libcli11-dev gnuplot-nox
  python3-mido dpf-plugins-vst
  libbenchmark-dev clang libclang-rt-14-dev valgrind
  lsp-plugins-vst zam-plugins
)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null | grep -qx installed || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
elif [[ -n "${need_update:-}" ]]; then
  apt-get update -q
fi

# 32-bit programs (the linux32 tests, 32-bit wine) need either the kernel's
# i386 support or user-mode emulation registered with binfmt_misc.
"$(dirname "$0")/enable-i386.sh"
