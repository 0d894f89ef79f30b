#!/bin/sh
# The guest's side of scripts/test-kernel-wine.sh, run as the guest's first
# process on its root (the host's root under a RAM overlay); $1 is the
# source tree. Starts the generator bench, a display and the driver under
# Wine, prints the driver's checks on the console and hands the verdict to
# the emulator. Logs go to build/wine-guest/out, which the host shares
# writable.
src=$1
build=$src/build/wine-guest
out=$build/out
mount -t proc proc /proc
mount -t sysfs sysfs /sys
for dir in /tmp /run; do mount -t tmpfs tmpfs $dir; done
# /dev is a plain tmpfs with the nodes that Wine, Xvfb and the bench use,
# copied from devtmpfs mounted aside: devtmpfs would make every hidraw node in
# two steps, and Wine drops a device that comes in two. The bench keeps the
# hidraw nodes instead, in one step each.
mkdir -p /run/kernel-dev
mount -t devtmpfs devtmpfs /run/kernel-dev
mount -t tmpfs -o mode=755 tmpfs /dev
for node in null zero full random urandom tty tty0 console ptmx kmsg ttyS0 uhid; do
  cp -a /run/kernel-dev/$node /dev/
done
ln -s /proc/self/fd /dev/fd
for i in 0 1 2; do ln -s /proc/self/fd/$i /dev/$(echo stdin stdout stderr | cut -d' ' -f$((i + 1))); done
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
# USB/IP between the bench and the virtual host controller goes over loopback.
ip link set lo up 2>/dev/null || busybox ip link set lo up
echo "guest: kernel $(uname -r), $(nproc) CPUs"
start=$(date +%s)

# The bench: the foreign device and two generators before Wine starts, then
# devices on request, through a folder the driver sees as Z:.
channel=/tmp/wine-bench
mkdir -p $channel
$build/linux/tests/wine-guest/tpg_wine_bench --hidraw-nodes $channel \
  "plug foreign FD-0001 0 0 0 0 0" \
  "plug uhid TPG-A-0001 25000 0 0 1 1000000" \
  "plug uhid TPG-B-0002 123456789 510 0 1 250000000" > $out/bench.log 2>&1 &
bench=$!
for i in $(seq 1 100); do grep -q '^bench: waiting' $out/bench.log && break; sleep 0.1; done
ls -l /dev/hidraw* | sed 's/^/guest: /'

Xvfb :1 -screen 0 1024x768x24 -nolisten tcp > $out/xvfb.log 2>&1 &
xvfb=$!
export DISPLAY=:1
for i in $(seq 1 100); do [ -e /tmp/.X11-unix/X1 ] && break; sleep 0.1; done

export WINEPREFIX=$build/prefix WINEARCH=win64 WINEDEBUG=${GUEST_WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
dos() { echo "Z:$1" | tr / '\\'; }
# Wine's services first, on a server that stays: its HID bus driver walks the
# hidraw nodes while nothing else competes for the emulated CPUs.
wineserver -p
wine cmd /c exit > /dev/null 2>> $out/wine.log < /dev/null
echo "guest: Wine's services up after $(( $(date +%s) - start ))s"
echo "guest: starting the driver under Wine"
# Into a file, not a pipe: the Wine processes that the driver starts would
# hold a pipe open long after it has ended.
wine $src/build/mingw/windows/tpg_wine_driver.exe "$(dos $channel)" \
  "$(dos $out/trelvix-pulse-guest.png)" > /tmp/driver.out 2>> $out/wine.log
status=$?
tr -d '\r' < /tmp/driver.out | tee $out/driver.log
echo "guest: driver ended with status $status after $(( $(date +%s) - start ))s"

wineserver -k 2>/dev/null
kill $bench $xvfb 2>/dev/null
wait $bench
bench_status=$?
sed 's/^/guest: /' $out/bench.log | tail -5
if [ "$status" = 0 ] && [ "$bench_status" = 0 ]; then
  verdict=pass
else
  verdict=fail
fi
echo "guest: verdict $verdict"
sync
$build/linux/tests/kernel/tpg_guest_exit $verdict
echo "guest: the exit device did not answer"
poweroff -f
