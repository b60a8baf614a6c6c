#!/usr/bin/env bash
# Makes i386 Linux programs runnable: natively when the kernel can, otherwise
# through qemu-i386 registered with binfmt_misc (root only).
set -euo pipefail
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
printf 'int main(void){return 0;}\n' > "$probe/p.c"
gcc -m32 "$probe/p.c" -o "$probe/p" 2>/dev/null || { echo "no -m32 compiler"; exit 0; }
# With --native-only: only report (exit 0/1) whether the kernel runs them itself.
if [[ "${1:-}" == "--native-only" ]]; then
  [[ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]] && [[ "$(cat /proc/sys/fs/binfmt_misc/qemu-i386 | head -1)" == enabled ]] && exit 1
  "$probe/p" 2>/dev/null
  exit $?
fi
if "$probe/p" 2>/dev/null; then
  exit 0
fi
if [[ ! -e /proc/sys/fs/binfmt_misc/register ]]; then
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
fi
if [[ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]]; then
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
    > /proc/sys/fs/binfmt_misc/register
fi
"$probe/p" && echo "i386 programs run through qemu-i386 (this kernel has no native i386 support)"
