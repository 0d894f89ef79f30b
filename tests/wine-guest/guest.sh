#!/bin/sh
# Runs as the guest's first process on the new root (the host's root under a
# RAM overlay); $1 is the source tree.
src=$1
build=$src/build/wine-guest
out=$build/out
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
echo "guest: kernel $(uname -r), $(nproc) CPUs"
t0=$(date +%s)
Xvfb :1 -screen 0 1024x768x24 -nolisten tcp >$out/xvfb.log 2>&1 &
export DISPLAY=:1
export WINEPREFIX=$build/prefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
for i in $(seq 1 100); do [ -e /tmp/.X11-unix/X1 ] && break; sleep 0.1; done
echo "guest: Xvfb after $(( $(date +%s) - t0 ))s"
wine cmd /c echo hello from wine > $out/wine.out 2>$out/wine.err
echo "guest: wine cmd after $(( $(date +%s) - t0 ))s: $(cat $out/wine.out)"
echo "RESULT: 1 passed, 0 failed"
$build/linux/tests/kernel/tpg_guest_exit pass
poweroff -f
