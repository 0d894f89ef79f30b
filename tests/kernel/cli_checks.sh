#!/bin/sh
# The command line on a real kernel, run inside the test guest: two virtual
# generators made by trelvix-pulse-virtual through uhid, and
# trelvix-pulse-cli's list, show, set, defaults and apply against them over
# hidraw, compared with the bytes the generators say they received. Prints
# one line per check and a closing count; exits non-zero when a check failed.
cli=/bin/trelvix-pulse-cli
log=/tmp/cli-virtual.log
passed=0
failed=0
tab=$(printf '\t')

check() {  # check WHAT COMMAND...: passes when the command succeeds
  what=$1; shift
  if "$@"; then
    passed=$((passed + 1)); echo "guest: cli: ok - $what"
  else
    failed=$((failed + 1)); echo "guest: cli: not ok - $what"
  fi
}

# The reports a generator printed as received, as "00 01 00 A9 61 00 00 00".
received() {
  grep "^$1 received " "$log" | sed "s/^$1 received //; s/ \.\.\. (65 bytes)\$//"
}

# Waits up to 3 s for generator $1 to have printed $2 received reports.
wait_received() {
  for _ in $(seq 1 60); do
    [ "$(received "$1" | wc -l)" -ge "$2" ] && return 0
    sleep 0.05
  done
  return 1
}

# Runs the CLI; keeps its standard output in $out and its status in $status.
run() {
  out=$("$cli" "$@" 2>/tmp/cli-err)
  status=$?
}

same() {  # same EXPECTED ACTUAL, telling the difference when they differ
  [ "$1" = "$2" ] && return 0
  echo "guest: cli:   expected: $(echo "$1" | tr '\n' '|')"
  echo "guest: cli:   got:      $(echo "$2" | tr '\n' '|')"
  return 1
}

/bin/trelvix-pulse-virtual TPG-CLI-A TPG-CLI-B > "$log" 2>&1 &
virtual=$!
for _ in $(seq 1 100); do grep -q '^running' "$log" && break; sleep 0.05; done

# list: both generators, their identity as the window shows it, no foreign device.
run list
check "list exits 0" [ "$status" = 0 ]
check "list shows the two generators" same \
  "TPG-CLI-A${tab}Trelvix Pulse Generator${tab}Trelvix Pulse Generator${tab}0.00
TPG-CLI-B${tab}Trelvix Pulse Generator${tab}Trelvix Pulse Generator${tab}0.00" \
  "$(echo "$out" | cut -f 1-4)"
check "list gives each a hidraw node" \
  [ "$(echo "$out" | cut -f 5 | grep -c '^/dev/hidraw[0-9]*$')" = 2 ]

# show: several generators and no --serial is refused; the factory settings.
run show
check "show without --serial among two exits 1" [ "$status" = 1 ]
check "show without --serial lists both" grep -q "TPG-CLI-B" /tmp/cli-err
run --serial TPG-CLI-A show
check "show --serial exits 0" [ "$status" = 0 ]
check "show gives the factory settings" same \
  "freq=10000000
amplitude-mv=1096
amplitude-index=339
polarity=normal
trigger=output
sync-freq=10000000" "$(echo "$out" | tail -6)"
run --serial TPG-CLI-X show
check "an unknown serial exits 2" [ "$status" = 2 ]

# set: checked first, then one report per setting in the order given.
run --serial TPG-CLI-A set freq=25000.5 amplitude-mv=1624 polarity=inverted trigger=sync \
  sync-freq=1000001.5
check "set exits 0" [ "$status" = 0 ]
check "set: five reports arrive" wait_received TPG-CLI-A 5
check "set: the bytes the generator received" same \
  "00 01 00 A9 61 00 00 00
00 02 00 FE 01 00 00 00
00 03 00 00 00 00 00 00
00 05 00 01 00 00 00 00
00 06 00 42 42 0F 00 00" "$(received TPG-CLI-A)"
run --serial TPG-CLI-A show --json
echo "$out" > /tmp/setup-a.json
check "show --json reads back the pulse frequency set" grep -q '"freq": 25001,' /tmp/setup-a.json
check "show --json reads back the sync frequency set" \
  grep -q '"sync_freq": 1000002$' /tmp/setup-a.json
run --serial TPG-CLI-A set freq=10000000 polarity=up
check "a bad value exits 1" [ "$status" = 1 ]
sleep 0.3
check "a bad value sends nothing" [ "$(received TPG-CLI-A | wc -l)" = 5 ]

# defaults: the window's eight reports, in its order.
run --serial TPG-CLI-B defaults
check "defaults exits 0" [ "$status" = 0 ]
check "defaults: eight reports arrive" wait_received TPG-CLI-B 8
check "defaults: the bytes the generator received" same \
  "00 01 00 80 96 98 00 00
00 02 00 53 01 00 00 00
00 02 00 53 01 00 00 00
00 05 00 00 00 00 00 00
00 05 00 00 00 00 00 00
00 06 00 80 96 98 00 00
00 03 00 01 00 00 00 00
00 03 00 01 00 00 00 00" "$(received TPG-CLI-B)"

# apply: A's saved setup onto B, in the order of the defaults.
run --serial TPG-CLI-B apply /tmp/setup-a.json
check "apply exits 0" [ "$status" = 0 ]
check "apply: five more reports arrive" wait_received TPG-CLI-B 13
check "apply: the bytes the generator received" same \
  "00 01 00 A9 61 00 00 00
00 02 00 FE 01 00 00 00
00 05 00 01 00 00 00 00
00 06 00 42 42 0F 00 00
00 03 00 00 00 00 00 00" "$(received TPG-CLI-B | tail -5)"

# A node the user may not open (the nodes are root's and 0600, as there is
# no udev here): run as "nobody", list shows the generator it may open and
# names the other with the reason and the fix; show of that one exits 2.
run list
node_a=$(echo "$out" | grep "^TPG-CLI-A$tab" | cut -f 5)
node_b=$(echo "$out" | grep "^TPG-CLI-B$tab" | cut -f 5)
mkdir -p /etc
grep -q '^nobody:' /etc/passwd 2>/dev/null ||
  echo 'nobody:x:65534:65534:nobody:/:/bin/sh' >> /etc/passwd
chmod 666 "$node_a"
chmod 600 "$node_b"
as_nobody() {
  out=$(su nobody -s /bin/sh -c "$cli $*" 2>/tmp/cli-err)
  status=$?
}
denied="$node_b: Permission denied: see README, \"No root is needed\""
as_nobody list
check "as nobody, list exits 0" [ "$status" = 0 ]
check "as nobody, list shows the generator it may open" same TPG-CLI-A "$(echo "$out" | cut -f 1)"
check "as nobody, list names the other with the fix" grep -qF "$denied" /tmp/cli-err
as_nobody --serial TPG-CLI-B show
check "as nobody, show of the other exits 2" [ "$status" = 2 ]
check "as nobody, show names it with the fix" grep -qF "$denied" /tmp/cli-err
chmod 600 "$node_a"

# Without generators.
kill -TERM $virtual
wait $virtual
run list
check "list without generators exits 2" [ "$status" = 2 ]

echo "guest: cli: $passed passed, $failed failed"
[ "$failed" = 0 ]
