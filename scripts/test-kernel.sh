#!/usr/bin/env bash
# The test on a real Linux kernel: boots Debian's kernel under QEMU (TCG, no
# KVM needed) with an initramfs of busybox and the statically linked guest
# scenario, which creates virtual generators and foreign devices through
# uhid and as USB devices on the USB/IP virtual host controller (vhci-hcd,
# driven by usbhid) and runs the tool's window over the hidraw layer, and the
# command-line checks (tests/kernel/cli_checks.sh) against virtual
# generators. PyVISA on this machine drives trelvix-pulse-cli serve in the
# guest (tests/kernel/serve_clients.py and serve_guest.sh), over its socket
# and over VXI-11, and a change through its web page as the page's script
# sends it, through QEMU's user-mode network, restricted to ports
# forwarded from the loopback of a network namespace this test makes (the
# portmapper's 111 is the test's there, not the machine's), and a second
# serial port on which the guest plugs and unplugs the generator and reports
# what it received. In the guest, the Tango device server (linked
# dynamically: the initramfs carries its libraries) and serve hold one uhid
# generator while a Tango client watches the device's change events
# (tests/kernel/tango_guest.sh). The verdict comes back through
# the isa-debug-exit device and a RESULT line in the serial log; a guest
# panic, a crash of the scenario, failed clients or a timeout fail the test.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
bash scripts/install-deps.sh

work=build/kernel-guest
# The guest's VXI-11 core channel (serve --vxi11-port), forwarded as it is:
# the portmapper hands clients this port for the address they came to.
vxi11_port=4880
# The guest's web page, forwarded to the same port: serve takes a Host
# header only with its own listen port, so a browser on the namespace's
# 127.0.0.1 reaches the page only through that port. Its changes need the
# password, as on any address other than loopback.
http_port=8080
page_password=guest-page-7f3c
source scripts/guest-kernel.sh
fetch_guest_kernel

# --- the guest programs, linked statically ---
cmake -S . -B build/kernel -DCMAKE_BUILD_TYPE=Release \
  -DTPG_BUILD_BENCH=OFF -DTPG_STATIC_GUEST=ON >/dev/null
cmake --build build/kernel -j 2 --target tpg_guest_scenario tpg_guest_exit trelvix-pulse-virtual \
  trelvix-pulse-cli tpg_serve_bench
# The Tango device server and its client, linked dynamically against
# Debian's Tango, omniORB and ZeroMQ: the guest gets those libraries too.
cmake --preset release >/dev/null
cmake --build --preset release -j 2 --target trelvix-pulse-tango tpg_tango_subscriber

# --- the initramfs ---
root="$work/initramfs"
rm -rf "$root" && mkdir -p "$root"/{bin,dev,proc,sys,tmp,modules}
cp "$(command -v busybox)" "$root/bin/busybox"
modules="usb-common usbcore usbip-core vhci-hcd hid hid-generic usbhid uhid e1000"
guest_modules "$root/modules" $modules
strip -o "$root/bin/tpg_guest_scenario" build/kernel/tests/kernel/tpg_guest_scenario
strip -o "$root/bin/tpg_guest_exit" build/kernel/tests/kernel/tpg_guest_exit
strip -o "$root/bin/trelvix-pulse-virtual" build/kernel/apps/trelvix-pulse-virtual
strip -o "$root/bin/trelvix-pulse-cli" build/kernel/apps/cli/trelvix-pulse-cli
strip -o "$root/bin/tpg_serve_bench" build/kernel/tests/kernel/tpg_serve_bench
strip -o "$root/bin/trelvix-pulse-tango" build/release/apps/tango/trelvix-pulse-tango
strip -o "$root/bin/tpg_tango_subscriber" build/release/tests/kernel/tpg_tango_subscriber
guest_libraries "$root" "$root/bin/trelvix-pulse-tango" "$root/bin/tpg_tango_subscriber"
# Tango resolves the machine's own name, and omniORB names its local
# socket's folder after the user: the guest's files say both.
mkdir -p "$root/etc"
echo "127.0.0.1 localhost tpg-guest" > "$root/etc/hosts"
echo "root:x:0:0:root:/tmp:/bin/sh" > "$root/etc/passwd"
echo "root:x:0:" > "$root/etc/group"
printf 'hosts: files\npasswd: files\ngroup: files\n' > "$root/etc/nsswitch.conf"
cp tests/kernel/cli_checks.sh "$root/bin/cli_checks.sh"
cp tests/kernel/tango_guest.sh "$root/bin/tango_guest.sh"
cp tests/kernel/serve_guest.sh "$root/bin/serve_guest.sh"
{
  echo '#!/bin/busybox sh'
  echo "modules=\"$modules\""
  echo "vxi11_port=$vxi11_port"
  echo "http_port=$http_port"
  echo "page_password=$page_password"
  cat <<'INIT'
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
hostname tpg-guest
# No udev here: every module, hid-generic too, is loaded by hand, in the
# order of their dependencies.
for m in $modules; do
  insmod /modules/$m.ko || echo "insmod $m failed"
done
# USB/IP carries a device over a TCP connection: on loopback here.
ip link set lo up
echo "guest: kernel $(uname -r)"

# The virtual generator program: two generators appear, and go on SIGTERM.
made() { grep -l "HID_UNIQ=TPG-CLI-" /sys/class/hidraw/*/device/uevent 2>/dev/null | wc -l; }
/bin/trelvix-pulse-virtual TPG-CLI-1 TPG-CLI-2 > /tmp/virtual.log 2>&1 &
pid=$!
for i in $(seq 1 100); do grep -q '^running' /tmp/virtual.log && break; sleep 0.05; done
during=$(made)
kill -TERM $pid
wait $pid
status=$?
after=$(made)
sed 's/^/guest: virtual: /' /tmp/virtual.log
if [ "$during" = 2 ] && [ "$status" = 0 ] && [ "$after" = 0 ]; then
  echo "guest: trelvix-pulse-virtual made 2 generators and removed them"
  cli=pass
else
  echo "guest: trelvix-pulse-virtual FAILED (made $during, status $status, left $after)"
  cli=fail
fi

# The same with --usb: a USB device on the virtual host controller, whose
# hidraw node usbhid names after the controller's port.
usb() { grep -l "HID_PHYS=usb-vhci_hcd" /sys/class/hidraw/*/device/uevent 2>/dev/null | wc -l; }
/bin/trelvix-pulse-virtual --usb TPG-CLI-USB-1 > /tmp/virtual-usb.log 2>&1 &
pid=$!
for i in $(seq 1 300); do grep -q '^running' /tmp/virtual-usb.log && break; sleep 0.05; done
during=$(usb)
serial=$(cat /sys/bus/usb/devices/*/serial 2>/dev/null | grep TPG-CLI-USB)
kill -TERM $pid
wait $pid
status=$?
after=$(usb)
sed 's/^/guest: virtual --usb: /' /tmp/virtual-usb.log
if [ "$during" = 1 ] && [ "$serial" = TPG-CLI-USB-1 ] && [ "$status" = 0 ] && [ "$after" = 0 ]; then
  echo "guest: trelvix-pulse-virtual --usb made a USB generator and unplugged it"
else
  echo "guest: trelvix-pulse-virtual --usb FAILED (made $during, serial '$serial', status $status, left $after)"
  cli=fail
fi

# The command line against virtual generators (tests/kernel/cli_checks.sh).
if sh /bin/cli_checks.sh; then commandline=pass; else commandline=fail; fi

# PyVISA and HTTP on the host against the SCPI server and its page
# (tests/kernel/serve_clients.py).
sh /bin/serve_guest.sh $vxi11_port $http_port $page_password || commandline=fail

# The Tango device server beside serve on one uhid generator, without a
# database (tests/kernel/tango_guest.sh).
sh /bin/tango_guest.sh || commandline=fail

# The SCPI server's figures on a USB generator (tests/kernel/serve_bench.cpp).
/bin/trelvix-pulse-virtual --usb TPG-BENCH-1 > /tmp/virtual-bench.log 2>&1 &
pid=$!
for i in $(seq 1 300); do grep -q '^running' /tmp/virtual-bench.log && break; sleep 0.05; done
/bin/tpg_serve_bench TPG-BENCH-1 || commandline=fail
kill -TERM $pid
wait $pid

if /bin/tpg_guest_scenario && [ "$cli" = pass ] && [ "$commandline" = pass ]; then
  verdict=pass
else
  verdict=fail
fi
echo "guest: verdict $verdict"
/bin/tpg_guest_exit $verdict
echo "guest: the exit device did not answer"
poweroff -f
INIT
} > "$root/init"
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) > "$work/initramfs.gz"

# --- the boot ---
log="$work/serial.log"
control="$work/control.sock"
rm -f "$log" "$control"
# The emulator and the clients run in a network namespace of this test's own
# (unshare -n), on whose loopback QEMU forwards the socket (5025), the
# portmapper (111, TCP and UDP), the core channel and the page to the
# guest: the machine's rpcbind may hold port 111 in its own namespace. The
# guest's network reaches nothing else (restrict=on).
boot() {
  ip link set lo up || return 90
  local fwd="hostfwd=tcp:127.0.0.1:5025-:5025,hostfwd=tcp:127.0.0.1:111-:111"
  fwd+=",hostfwd=udp:127.0.0.1:111-:111,hostfwd=tcp:127.0.0.1:$vxi11_port-:$vxi11_port"
  fwd+=",hostfwd=tcp:127.0.0.1:$http_port-:$http_port"
  timeout 300 qemu-system-x86_64 -accel tcg -m 512 -smp 1 -no-reboot \
    -display none -monitor none -serial "file:$log" \
    -chardev "socket,id=control,path=$control,server=on,wait=off" -serial chardev:control \
    -nic "user,model=e1000,restrict=on,$fwd" \
    -kernel "$kernel_dir/vmlinuz" -initrd "$work/initramfs.gz" \
    -append "console=ttyS0 panic=-1 oops=panic loglevel=3" \
    -device isa-debug-exit,iobase=0xf4,iosize=0x04 &
  local emulator=$!
  /usr/bin/python3 tests/kernel/serve_clients.py "$control" 5025 "$http_port" "$page_password" \
    > "$work/serve-clients.log" 2>&1
  echo $? > "$work/clients.status"
  wait $emulator
}
export -f boot
export work log control kernel_dir vxi11_port http_port page_password
echo 1 > "$work/clients.status"
set +e
unshare -n bash -c boot
status=$?
clients=$(cat "$work/clients.status")
set -e
grep -v '^\s*$' "$log" | sed -n '/guest: kernel/,$p' || true
cat "$work/serve-clients.log"
elapsed=$(( $(date +%s) - started ))

# 33 is the pass written to the exit device; a panic reboots (status 0 with
# -no-reboot), a timeout gives 124, a failed scenario 35.
if [ "$status" -eq 33 ] && [ "$clients" -eq 0 ] &&
  grep -Eq '^RESULT: [0-9]+ passed, 0 failed' "$log"; then
  echo "test-kernel: passed in ${elapsed}s"
  exit 0
fi
case "$status" in
  124) why="timed out" ;;
  35) why="the scenario failed" ;;
  0) why="the guest ended without a verdict (panic?)" ;;
  33) why="the PyVISA clients failed (serve_clients.py, above)" ;;
  90) why="the loopback of the test's network namespace did not come up" ;;
  *) why="emulator status $status" ;;
esac
echo "test-kernel: FAILED ($why) after ${elapsed}s; serial log: $log" >&2
tail -40 "$log" >&2
exit 1
