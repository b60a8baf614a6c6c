#!/usr/bin/env bash
# Runs the win32 test suite under 32-bit wine where this machine's kernel does
# not start i386 programs: inside a small virtual machine (qemu, software
# emulation) whose kernel does. The virtual machine boots Debian's kernel with
# a busybox first process (scripts/vm/init), sees this machine's root file
# system read-only and the project read-write at the same path, and runs
# `ctest --preset win32` there with a wine prefix in its own memory.
# Needs qemu-system-x86 and busybox-static (install-deps.sh) and fetches the
# kernel package into build/vm. The exit status is ctest's.
set -euo pipefail

if [[ "${1:-}" == "--inside" ]]; then # in the virtual machine, from its init
  cd "$2"
  export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
  export HOME=/tmp WINEPREFIX=/tmp/wineprefix
  status=0
  ctest --preset win32 || status=$?
  echo "$status" >build/vm/ctest-status
  exit 0
fi

root=$(cd "$(dirname "$0")/.." && pwd)
if [[ "$root" == *[[:space:]]* ]]; then
  echo "win32-in-vm: the project's path must not contain white space: $root" >&2
  exit 2
fi
vm=$root/build/vm
mkdir -p "$vm"
if ldd /bin/busybox >/dev/null 2>&1; then
  echo "win32-in-vm: /bin/busybox is not statically linked; install busybox-static" >&2
  exit 2
fi

# The kernel: Debian's current one, unpacked (not installed) into build/vm.
unpacked_kernel() { find "$vm/kernel/boot" -name 'vmlinuz-*' 2>/dev/null | head -1 || true; }
if [[ -z "$(unpacked_kernel)" ]]; then
  kernel_package() { apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}'; }
  package=$(kernel_package)
  if [[ -z "$package" ]]; then
    apt-get update -q >/dev/null
    package=$(kernel_package)
  fi
  if [[ -z "$package" ]]; then
    echo "win32-in-vm: Debian has no linux-image-amd64 package here" >&2
    exit 2
  fi
  rm -rf "$vm/kernel" "$vm"/linux-image-*.deb
  (cd "$vm" && apt-get download "$package" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
  dpkg-deb -x "$vm"/linux-image-*.deb "$vm/kernel"
  rm -f "$vm"/linux-image-*.deb
fi
kernel=$(unpacked_kernel)

# The initial file system: busybox, the 9p and virtio modules, the init.
staging=$vm/initramfs
rm -rf "$staging"
mkdir -p "$staging"/{bin,mod,proc,sys,dev,newroot}
cp /bin/busybox "$staging/bin/"
cp "$root/scripts/vm/init" "$staging/init"
for m in virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci \
  netfs fscache 9pnet 9pnet_virtio 9p; do
  cp "$(find "$vm/kernel/lib/modules" -name "$m.ko" | head -1)" "$staging/mod/"
done
(cd "$staging" && find . | busybox cpio -o -H newc 2>/dev/null) | gzip >"$vm/initrd.gz"

rm -f "$vm/ctest-status"
# -smap,-pku: with them, this qemu's emulation faults wine's returns to user
# mode (the guest kernel reports a page fault at an iret).
set +e
timeout 2400 qemu-system-x86_64 -machine q35 -cpu max,-smap,-pku -smp 2 -accel tcg,thread=multi \
  -m 3072 -nographic -no-reboot -kernel "$kernel" -initrd "$vm/initrd.gz" \
  -append "console=ttyS0 quiet panic=-1 vmproject=$root vmscript=$root/scripts/win32-in-vm.sh" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$root,mount_tag=project,security_model=none,multidevs=remap" 2>&1 |
  sed -u 's/\x1b\[[0-9;?]*[a-zA-Z]//g; s/\x1bc//g'
qemu_status=${PIPESTATUS[0]}
set -e
if [[ ! -f "$vm/ctest-status" ]]; then
  echo "win32-in-vm: the virtual machine ended (status $qemu_status) without a test result" >&2
  exit 1
fi
exit "$(cat "$vm/ctest-status")"
