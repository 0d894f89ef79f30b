#!/bin/sh
# The Tango device server on a real kernel, without a database: its device
# properties come from a file (-file=), as a site without a Tango database
# gives them. trelvix-pulse-tango and trelvix-pulse-cli serve both wait for
# the generator TPG-TANGO; tpg_tango_subscriber (tests/kernel/
# tango_subscriber.cpp) plugs it through uhid, changes it through serve's
# socket and unplugs it, watching the device's change events.
# Exits 0 when the subscriber's checks passed and both servers stopped.
serial=TPG-TANGO
orb_port=10000
polling_ms=500
device=tpg/guest/1
dir=/tmp/tango
mkdir -p $dir
cat > $dir/devices.res <<EOF
trelvix-pulse-tango/guest/DEVICE/TrelvixPulseGenerator: $device
$device->SerialNumber: $serial
$device->PollingPeriod: $polling_ms
EOF

/bin/trelvix-pulse-cli serve --serial $serial --listen 127.0.0.1:5025 --no-vxi11 --no-http \
  --no-mdns > $dir/serve.out 2> $dir/serve.err &
serve=$!
/bin/trelvix-pulse-tango guest -file=$dir/devices.res \
  -ORBendPoint giop:tcp:127.0.0.1:$orb_port > $dir/tango.out 2>&1 &
tango=$!
# Both start in a second or two under emulation; a minute is the bound.
for _ in $(seq 1 600); do
  grep -q '^listening on' $dir/serve.out && grep -q 'Ready to accept request' $dir/tango.out &&
    break
  sleep 0.1
done

timeout 120 /bin/tpg_tango_subscriber "tango://127.0.0.1:$orb_port/$device#dbase=no" $polling_ms 5025 $serial
checks=$?
# A generator the subscriber left behind would be in the later scenarios'
# lists; no other virtual generator runs at this stage.
killall -TERM trelvix-pulse-virtual 2> /dev/null
for _ in $(seq 1 50); do
  grep -qs "HID_UNIQ=$serial\$" /sys/class/hidraw/*/device/uevent || break
  sleep 0.1
done

# stop NAME PID: SIGTERM, then SIGKILL after ten seconds; the exit status.
stop() {
  kill -TERM "$2"
  for _ in $(seq 1 100); do kill -0 "$2" 2> /dev/null || break; sleep 0.1; done
  kill -0 "$2" 2> /dev/null && { echo "guest: tango: $1 ignored SIGTERM"; kill -KILL "$2"; }
  wait "$2"
}
stop trelvix-pulse-tango $tango
tango_status=$?
stop serve $serve
serve_status=$?
sed 's/^/guest: tango: server: /' $dir/tango.out
sed 's/^/guest: tango: serve: /' $dir/serve.err
echo "guest: tango: subscriber $checks, device server's exit status $tango_status," \
  "serve's $serve_status"
[ "$checks" = 0 ] && [ "$tango_status" = 0 ] && [ "$serve_status" = 0 ]
