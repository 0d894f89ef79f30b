#!/usr/bin/python3
"""serve's announcement on a real network: `trelvix-pulse-cli serve --simulate`
with its own avahi-daemon and system bus, in mount, network and PID
namespaces of this test, and two real browsers: avahi-browse through that
daemon, and Python zeroconf in a second network namespace at the other end
of a veth link, as another machine on the LAN would see it.

    announce_checks.py CLI

Checks that the services appear with the *IDN? fields in their TXT record,
go when the simulated generator is unplugged (SIGUSR1), come back when it
returns, that serve serves on while avahi-daemon is gone (saying so once)
and announces again when it returns, and that they go when serve stops.
Exits 77 (skipped) only when this machine cannot make the namespaces.
"""
import json
import os
import queue
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
OURS = "10.250.77.1"  # tpg0, in the namespace of serve and avahi-daemon
PEER = "10.250.77.2"  # tpg1, in the browser's namespace
BUS = "/run/dbus/system_bus_socket"
# serve here runs the SCPI socket and VXI-11 (the portmapper on port 111 of
# the test's own namespace), and no web page: each type with its port (None:
# the socket's).
ANNOUNCED = {"_scpi-raw._tcp": None, "_vxi-11._tcp": 111}
NOT_ANNOUNCED = ["_lxi._tcp"]
WAIT = 20.0  # seconds for any one thing to happen

BUS_CONFIG = f"""<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path={BUS}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
"""

AVAHI_CONFIG = """[server]
use-ipv4=yes
use-ipv6=no
allow-interfaces=tpg0
enable-dbus=yes
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
"""

# Runs in the peer namespace: every service of the three types added or
# removed, one JSON line each.
WATCHER = r"""
import json, sys, time
from zeroconf import ServiceBrowser, ServiceStateChange, Zeroconf
TYPES = ["_scpi-raw._tcp.local.", "_vxi-11._tcp.local.", "_lxi._tcp.local."]
def changed(zeroconf, service_type, name, state_change):
    event = {"event": "removed" if state_change is ServiceStateChange.Removed else "added",
             "type": service_type, "name": name}
    if state_change is not ServiceStateChange.Removed:
        info = zeroconf.get_service_info(service_type, name, timeout=5000)
        if info is None:
            return
        event.update(port=info.port, addresses=info.parsed_addresses(),
                     txt={k.decode(): (v or b"").decode() for k, v in info.properties.items()})
    print(json.dumps(event), flush=True)
zc = Zeroconf(interfaces=[sys.argv[1]])
browser = ServiceBrowser(zc, TYPES, handlers=[changed])
print(json.dumps({"event": "ready"}), flush=True)
sys.stdin.read()  # until the test closes it
zc.close()
"""


def fail(message):
    raise SystemExit(f"FAILED: {message}")


def wait_for(what, check, seconds=WAIT):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = check()
        if value:
            return value
        time.sleep(0.2)
    fail(f"{what}: not within {seconds:.0f} s")


class Lines:
    """The lines a process writes, read on a thread of their own."""

    def __init__(self, stream):
        self.lines = queue.Queue()
        self.seen = []
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for line in stream:
            self.lines.put(line.rstrip("\n"))

    def drain(self):
        while True:
            try:
                self.seen.append(self.lines.get_nowait())
            except queue.Empty:
                return self.seen


def run(*command, **kwargs):
    return subprocess.run(command, check=True, timeout=WAIT, capture_output=True, text=True,
                          **kwargs)


def browse(service_type):
    """What avahi-browse resolves of one type: name -> (port, txt list)."""
    out = subprocess.run(["avahi-browse", "-rtp", service_type], capture_output=True, text=True,
                         timeout=WAIT).stdout
    found = {}
    for line in out.splitlines():
        fields = line.split(";")
        if fields[0] == "=" and len(fields) >= 10:
            name = re.sub(r"\\(\d{3})", lambda m: chr(int(m.group(1))), fields[3])
            found[name] = (int(fields[8]), re.findall(r'"((?:[^"\\]|\\.)*)"', fields[9]))
    return found


def idn(port):
    with socket.create_connection(("127.0.0.1", port), timeout=WAIT) as client:
        client.sendall(b"*IDN?\n")
        answer = b""
        while not answer.endswith(b"\n"):
            chunk = client.recv(4096)
            if not chunk:
                break
            answer += chunk
    return answer.decode().strip()


def inside(cli):
    processes = []
    work = tempfile.mkdtemp(prefix="tpg-mdns-")

    def start(command, **kwargs):
        process = subprocess.Popen(command, **kwargs)
        processes.append(process)
        return process

    try:
        run("mount", "-t", "tmpfs", "tpg-run", "/run")
        os.makedirs("/run/dbus")
        os.makedirs("/run/avahi-daemon")
        run("ip", "link", "set", "lo", "up")
        peer = start(["unshare", "-n", "sleep", "600"])
        own = os.readlink("/proc/self/ns/net")
        wait_for("the peer namespace", lambda: os.path.exists(f"/proc/{peer.pid}/ns/net")
                 and os.readlink(f"/proc/{peer.pid}/ns/net") != own, 5)
        in_peer = ["nsenter", "-t", str(peer.pid), "-n"]
        run("ip", "link", "add", "tpg0", "type", "veth", "peer", "name", "tpg1", "netns",
            str(peer.pid))
        run("ip", "addr", "add", f"{OURS}/24", "dev", "tpg0")
        run("ip", "link", "set", "tpg0", "up", "multicast", "on")
        run(*in_peer, "ip", "addr", "add", f"{PEER}/24", "dev", "tpg1")
        run(*in_peer, "ip", "link", "set", "tpg1", "up", "multicast", "on")
        run(*in_peer, "ip", "link", "set", "lo", "up")

        with open(f"{work}/bus.conf", "w") as f:
            f.write(BUS_CONFIG)
        with open(f"{work}/avahi-daemon.conf", "w") as f:
            f.write(AVAHI_CONFIG)
        os.environ["DBUS_SYSTEM_BUS_ADDRESS"] = f"unix:path={BUS}"
        start(["dbus-daemon", f"--config-file={work}/bus.conf", "--nofork", "--nopidfile"])
        wait_for("the system bus", lambda: os.path.exists(BUS), 10)

        def start_avahi():
            avahi = start(["avahi-daemon", "-f", f"{work}/avahi-daemon.conf", "--no-drop-root",
                           "--no-chroot", "--no-rlimits", "--no-proc-title"],
                          stderr=subprocess.PIPE, text=True)
            log = Lines(avahi.stderr)
            wait_for("avahi-daemon's startup",
                     lambda: any("startup complete" in l for l in log.drain()))
            return avahi

        avahi = start_avahi()

        watcher = start(in_peer + ["/usr/bin/python3", "-c", WATCHER, PEER],
                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        events = Lines(watcher.stdout)

        def event(kind, name=None, since=0):
            for line in events.drain()[since:]:
                e = json.loads(line)
                # The socket's service stands for all: each type is announced
                # and withdrawn with it.
                if e["event"] == kind and (name is None or
                                           e["name"].startswith(name + "._scpi-raw._tcp.")):
                    return e
            return None

        wait_for("zeroconf's browser", lambda: event("ready"))

        serve = start([cli, "serve", "--simulate", "--listen", "127.0.0.1:0", "--no-http"],
                      stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        said = serve.stdout.readline()
        match = re.fullmatch(r"listening on 127\.0\.0\.1:(\d+)\n", said)
        if not match:
            fail(f"serve said {said!r}")
        port = int(match.group(1))
        log = Lines(serve.stderr)
        maker, product, serial, version = idn(port).split(",")
        name = f"Trelvix Pulse Generator {serial} on {socket.gethostname().split('.')[0]}"[:63]
        txt = {"txtvers": "1", "Manufacturer": maker, "Model": product,
               "SerialNumber": serial, "FirmwareVersion": version}

        def announced():
            for service_type, service_port in ANNOUNCED.items():
                found = browse(service_type)
                if name not in found:
                    return False
                got_port, got_txt = found[name]
                if got_port != (service_port or port) or dict(t.split("=", 1) for t in got_txt) != txt:
                    fail(f"avahi-browse saw {service_type} {found[name]}, expected port "
                         f"{service_port or port} and {txt}")
            return True

        def gone():
            return all(name not in browse(t) for t in ANNOUNCED)

        def seen_by_peer(since):
            e = event("added", name, since)
            if e and (e["port"], e["txt"], OURS in e["addresses"]) != (port, txt, True):
                fail(f"zeroconf saw {e}, expected port {port}, {txt} at {OURS}")
            return e

        wait_for("the announcement, through avahi-browse", announced)
        wait_for("the announcement, through zeroconf on the peer", lambda: seen_by_peer(0))
        for service_type in NOT_ANNOUNCED:
            if browse(service_type):
                fail(f"{service_type} is announced, but serve does not run it")
        print(f"announced as {name!r} on port {port}, TXT {txt}")

        # A second serve of a generator with the same serial number: the
        # name is taken, and it is announced as "NAME #2".
        twin = start([cli, "serve", "--simulate", "--listen", "127.0.0.1:0", "--no-http"],
                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        twin_port = int(re.fullmatch(r"listening on 127\.0\.0\.1:(\d+)\n",
                                     twin.stdout.readline()).group(1))
        wait_for("the second serve, renamed",
                 lambda: browse("_scpi-raw._tcp").get(name + " #2", (None,))[0] == twin_port)
        twin.terminate()
        twin.wait(WAIT)
        wait_for("the second serve's withdrawal", lambda: name + " #2" not in browse("_scpi-raw._tcp"))
        if browse("_scpi-raw._tcp").get(name, (None,))[0] != port:
            fail("the first serve's announcement did not stay")
        print(f"a second serve of the same serial number announced as {name + ' #2'!r}")

        mark = len(events.drain())
        serve.send_signal(signal.SIGUSR1)  # the generator unplugged
        wait_for("the withdrawal, through avahi-browse", gone)
        wait_for("the withdrawal, through zeroconf", lambda: event("removed", name, mark))
        if "-241" not in idn_error(port):
            fail("*IDN? did not queue -241 (hardware missing) with no generator")
        mark = len(events.drain())
        serve.send_signal(signal.SIGUSR1)  # plugged in again
        wait_for("the announcement after the replug, through avahi-browse", announced)
        wait_for("the announcement after the replug, through zeroconf",
                 lambda: seen_by_peer(mark))
        print("withdrawn while unplugged, announced again when plugged in")

        avahi.terminate()
        avahi.wait(WAIT)
        wait_for("serve telling that avahi-daemon is gone",
                 lambda: any("avahi-daemon is not running" in l for l in log.drain()))
        if idn(port).split(",")[2] != serial:
            fail("serve does not answer while avahi-daemon is gone")
        avahi = start_avahi()
        wait_for("the announcement when avahi-daemon is back", announced)
        told = [l for l in log.drain() if "avahi-daemon is not running" in l]
        if len(told) != 1:
            fail(f"serve told of the missing daemon {len(told)} times: {told}")
        print("served on without avahi-daemon, announced again when it returned")

        mark = len(events.drain())
        serve.send_signal(signal.SIGTERM)
        if serve.wait(WAIT) != 0:
            fail(f"serve ended with {serve.returncode}")
        wait_for("the withdrawal at the end, through zeroconf", lambda: event("removed", name, mark))
        wait_for("the withdrawal at the end, through avahi-browse", gone)
        print("withdrawn when serve stopped")
        print("serve's stderr:\n  " + "\n  ".join(log.drain()))
    finally:
        for process in reversed(processes):
            if process.poll() is None:
                process.kill()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                pass
        shutil.rmtree(work, ignore_errors=True)


def idn_error(port):
    with socket.create_connection(("127.0.0.1", port), timeout=WAIT) as client:
        client.sendall(b"*IDN?\nSYST:ERR?\n")
        answer = b""
        while answer.count(b"\n") < 1:
            chunk = client.recv(4096)
            if not chunk:
                break
            answer += chunk
    return answer.decode()


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--inside":
        inside(sys.argv[2])
        return
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    namespaces = ["unshare", "--mount", "--net", "--pid", "--fork", "--mount-proc",
                  "--kill-child"]
    probe = subprocess.run(namespaces + ["true"], capture_output=True, text=True, timeout=WAIT)
    if os.geteuid() != 0 or probe.returncode != 0:
        print(f"SKIPPED: this machine cannot make the test's namespaces: "
              f"{probe.stderr.strip() or 'not root'}")
        sys.exit(SKIP)
    for tool in ["avahi-daemon", "avahi-browse", "dbus-daemon", "ip", "nsenter"]:
        if shutil.which(tool) is None:
            sys.exit(f"FAILED: {tool} is missing (scripts/install-deps.sh installs it)")
    result = subprocess.run(namespaces + [sys.executable, os.path.abspath(__file__), "--inside",
                                          os.path.abspath(sys.argv[1])], timeout=150)
    sys.exit(result.returncode)


if __name__ == "__main__":
    main()
