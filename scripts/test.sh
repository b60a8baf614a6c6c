#!/usr/bin/env bash
# Quick start, second command: installs what is missing, builds and runs every
# test: natively (linux64, linux32), the Windows libraries under wine, the whole
# native suite under AddressSanitizer and UndefinedBehaviorSanitizer, the tests
# with several threads under ThreadSanitizer, and a bounded fuzz run of each
# plug-in.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

passed=0
failed=0
stage() { # stage NAME COMMAND...: runs one stage and counts its result
  local name=$1
  shift
  echo "== $name"
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "== $name FAILED"
  fi
}
build() { cmake --preset "$1" >/dev/null && cmake --build --preset "$1"; }
suite() { build "$1" && ctest --preset "$1"; }

win32_suite() {
  build win32 || return 1
  if bash scripts/enable-i386.sh --native-only; then
    ctest --preset win32
  elif command -v qemu-system-x86_64 >/dev/null; then
    # This kernel runs no i386 programs itself (32-bit wine hangs under
    # user-mode emulation): the suite runs in a virtual machine whose kernel does.
    bash scripts/win32-in-vm.sh
  else
    echo "note: no i386 support and no qemu-system-x86_64: only the win32 library checks run here"
    ctest --preset win32 -L static
  fi
}

stage linux64 suite linux64
stage linux32 suite linux32
stage win64 suite win64
stage win32 win32_suite
stage linux64-asan suite linux64-asan
stage linux64-tsan suite linux64-tsan
stage fuzz env FUZZ_SECONDS="${FUZZ_SECONDS:-60}" bash fuzz/run.sh

echo "test stages: $passed passed, $failed failed"
((failed == 0))
