#!/usr/bin/env bash
# Quick start, first command: installs what is missing, builds every target
# (linux64, linux32, win32 — the deliverables — and win64), then runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

for preset in linux64 linux32 win32 win64; do
  echo "== building $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

echo
echo "Deliverables (32-bit Windows) and their exports:"
for dll in build/win32/bin/QERN.dll build/win32/bin/GAIN.dll; do
  exports=$(i686-w64-mingw32-objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^\s*\[ *[0-9]*\] //p' | tr '\n' ' ')
  printf '  %-26s %7d bytes  exports: %s\n' "$dll" "$(stat -c %s "$dll")" "$exports"
done
echo "Also built: build/win64/bin (64-bit Windows), build/linux64/bin and build/linux32/bin (Linux)."

if [[ -x build/linux64/bin/plughost ]]; then
  echo
  build/linux64/bin/plughost demo --out demo-output
fi
