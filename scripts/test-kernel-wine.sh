#!/usr/bin/env bash
# The Windows tool against generators on a real Linux kernel: boots Debian's
# kernel under QEMU (TCG) on the host's own root, shared read-only over
# virtio-9p with a RAM overlay on top, so that Wine, Xvfb and the build tree
# are there as they are here. In the guest, virtual generators and a foreign
# HID device are made through uhid, and trelvix-pulse.exe runs under Wine,
# which presents the hidraw nodes as HID devices; a Win32 driver program of
# ours works the window with messages and checks what the generators
# received (tests/wine-guest/guest.sh). The verdict comes back through the
# isa-debug-exit device and a RESULT line in the serial log.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
started=$(date +%s)
bash scripts/install-deps.sh
bash scripts/install-windows-deps.sh

work=$root/build/wine-guest
mkdir -p "$work"
source scripts/guest-kernel.sh
fetch_guest_kernel

echo "=== wine guest: builds ==="
cmake -S . -B "$work/linux" -DCMAKE_BUILD_TYPE=Release -DTPG_BUILD_BENCH=OFF >/dev/null
cmake --build "$work/linux" -j 2 --target tpg_guest_exit tpg_wine_bench
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j 2 --target trelvix-pulse tpg_wine_driver

echo "=== wine guest: prefix ==="
# Made here, where it takes seconds; the guest writes to it through its
# overlay, so this copy stays as it was made.
source scripts/wine-env.sh
wine_env "$work/prefix"
trap stop_wine_and_xvfb EXIT
start_xvfb
make_wine_prefix
# No udev daemon runs in the guest: winebus then walks /dev/hidraw* itself
# and watches /dev for nodes that come and go. SDL must not claim devices.
wine reg add 'HKLM\System\CurrentControlSet\Services\winebus' /v DisableUdevd \
  /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine reg add 'HKLM\System\CurrentControlSet\Services\winebus' /v 'Enable SDL' \
  /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver -w
stop_wine_and_xvfb

echo "=== wine guest: initramfs ==="
out="$work/out"
rm -rf "$out" && mkdir -p "$out"
initramfs="$work/initramfs"
rm -rf "$initramfs" && mkdir -p "$initramfs"/{bin,dev,proc,sys,modules,host,rw,newroot}
cp "$(command -v busybox)" "$initramfs/bin/busybox"
modules=(virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci
         9pnet 9pnet_virtio netfs fscache 9p overlay
         usb-common usbcore usbip-core vhci-hcd hid hid-generic usbhid uhid)
guest_modules "$initramfs/modules" "${modules[@]}"
cat > "$initramfs/init" <<INIT
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
# No udev here: every module is loaded by hand, in order.
for m in ${modules[*]}; do
  insmod /modules/\$m.ko || echo "guest: insmod \$m failed"
done
# The host's root, read-only, under a RAM overlay: the new root.
mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=262144 hostroot /host
mount -t tmpfs -o size=1500m tmpfs /rw
mkdir -p /rw/upper /rw/work
mount -t overlay overlay -o lowerdir=/host,upperdir=/rw/upper,workdir=/rw/work /newroot
# What the guest hands back: a writable share of build/wine-guest/out.
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 out /newroot$out
umount /proc /sys
umount /dev 2>/dev/null
exec switch_root /newroot /bin/sh $root/tests/wine-guest/guest.sh $root
INIT
chmod +x "$initramfs/init"
(cd "$initramfs" && find . | cpio -o -H newc --quiet | gzip -1) > "$work/initramfs.gz"

echo "=== wine guest: boot ==="
log="$work/serial.log"
rm -f "$log"
booted=$(date +%s)
set +e
# -cpu max makes Wine's wineboot oops the guest kernel under TCG; this
# model runs it.
timeout 900 qemu-system-x86_64 -accel tcg -cpu Haswell-noTSX -m 3072 -smp 2 -no-reboot \
  -display none -monitor none -serial "file:$log" \
  -kernel "$kernel_dir/vmlinuz" -initrd "$work/initramfs.gz" \
  -append "console=ttyS0 panic=-1 oops=panic loglevel=3${GUEST_WINEDEBUG:+ GUEST_WINEDEBUG=$GUEST_WINEDEBUG}" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$out,mount_tag=out,security_model=none" \
  -device isa-debug-exit,iobase=0xf4,iosize=0x04
status=$?
set -e
grep -v '^\s*$' "$log" | sed -n '/guest: /,$p' || true
now=$(date +%s)
echo "test-kernel-wine: boot and scenario $((now - booted))s, whole script $((now - started))s"

# 33 is the pass written to the exit device; a panic reboots (status 0 with
# -no-reboot), a timeout gives 124, a failed scenario 35.
if [ "$status" -eq 33 ] && grep -Eq '^RESULT: [0-9]+ passed, 0 failed' "$log"; then
  echo "test-kernel-wine: passed; screenshot: build/wine-guest/out/trelvix-pulse-guest.png"
  exit 0
fi
case "$status" in
  124) why="timed out" ;;
  35) why="the scenario failed" ;;
  0) why="the guest ended without a verdict (panic?)" ;;
  *) why="emulator status $status" ;;
esac
echo "test-kernel-wine: FAILED ($why); serial log: $log, guest logs: $out" >&2
tail -40 "$log" >&2
exit 1
