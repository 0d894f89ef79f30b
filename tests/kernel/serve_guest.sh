#!/bin/sh
# The guest's half of tests/kernel/serve_clients.py, which runs on the host:
# trelvix-pulse-cli serve listens on the guest's network card (the socket on
# 5025, VXI-11's portmapper on 111, its core channel and the web page on the
# ports given; the page's changes need the password given, as on any address
# other than loopback), to which QEMU's user-mode network forwards the same
# ports of the loopback of the test's network namespace, while this loop
# plugs and unplugs a virtual generator as the host asks over the second
# serial port (/dev/ttyS1). Requests, one a line, each answered with lines and "end"
# ("failed ..." lines when something went wrong):
#   plug | plug usb   the virtual generator through uhid or on USB
#   unplug            it goes; answered once its hidraw node is gone
#   reports N         the lines it printed as received, from the N+1th
#   done pass|fail    the host's verdict; the server is stopped
# Exits 0 when the host said "done pass" and the server stopped with 0.
#   serve_guest.sh VXI11_PORT HTTP_PORT PAGE_PASSWORD
serial=TPG-PYVISA
log=/tmp/serve-virtual.log
virtual=

present() { grep -l "HID_UNIQ=$serial\$" /sys/class/hidraw/*/device/uevent 2>/dev/null | wc -l; }

plug() {
  : > $log
  /bin/trelvix-pulse-virtual "$@" $serial >> $log 2>&1 &
  virtual=$!
  for _ in $(seq 1 200); do
    grep -q '^running' $log && [ "$(present)" = 1 ] && return
    sleep 0.05
  done
  echo "failed: no generator: $(tr '\n' ' ' < $log)" >&3
}

unplug() {
  kill -TERM $virtual
  wait $virtual
  status=$?
  virtual=
  for _ in $(seq 1 100); do [ "$(present)" = 0 ] && break; sleep 0.05; done
  [ "$status" = 0 ] && [ "$(present)" = 0 ] || echo "failed: unplug: status $status" >&3
}

ip addr add 10.0.2.15/24 dev eth0 && ip link set eth0 up || exit 1
stty -F /dev/ttyS1 raw -echo || exit 1
exec 3<>/dev/ttyS1

echo "$3" > /tmp/page-password
/bin/trelvix-pulse-cli --serial $serial --listen 0.0.0.0:5025 --vxi11-port "$1" serve \
  --http "0.0.0.0:$2" --http-password-file /tmp/page-password > /tmp/serve.out 2> /tmp/serve.err &
server=$!
# "page at" is the last line serve prints once it listens.
for _ in $(seq 1 100); do grep -q '^page at' /tmp/serve.out && break; sleep 0.05; done

verdict=fail
tries=0
until read -t 1 request <&3; do
  echo ready >&3
  tries=$((tries + 1))
  [ $tries -lt 120 ] || { echo "guest: serve clients: the host never asked"; request="done fail"; break; }
done
while :; do
  case "$request" in
    plug) plug ;;
    "plug usb") plug --usb ;;
    unplug) unplug ;;
    "reports "*) grep ' received ' $log | tail -n +$((${request#reports } + 1)) >&3 ;;
    "done pass") verdict=pass ;;
    "done fail") ;;
    *) echo "failed: unknown request '$request'" >&3 ;;
  esac
  echo end >&3
  case "$request" in done*) break ;; esac
  read -t 60 request <&3 || { echo "guest: serve clients: no request for 60 s"; verdict=fail; break; }
done

[ -n "$virtual" ] && unplug
kill -TERM $server
wait $server
status=$?
sed 's/^/guest: serve: /' /tmp/serve.err
echo "guest: serve clients: host's verdict $verdict, server's exit status $status"
[ "$verdict" = pass ] && [ "$status" = 0 ]
