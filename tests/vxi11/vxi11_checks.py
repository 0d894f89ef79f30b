#!/usr/bin/python3
"""Drives `trelvix-pulse-cli serve --simulate` over VXI-11 with real clients,
in a network namespace of its own (port 111 is the test's, not the
machine's).

    vxi11_checks.py [--lxi | --unprivileged] -- CLI [ARGS...]

Without --lxi: PyVISA over pyvisa-py on TCPIP::127.0.0.1::INSTR (the
portmapper on 111, the core channel), the status byte, device clear, the
generator's lock against a second session and a socket client, a holder
killed with SIGKILL, a lock wait that times out; then raw ONC RPC calls for
what PyVISA does not send (abort, bounds, the portmapper's versions).
With --lxi: `lxi discover` from a second namespace over a veth pair, and
`lxi scpi`. With --unprivileged: serve as nobody without capabilities says
once why port 111 is not served, and serves on.

Run it as root: it calls `unshare -n` on itself.
"""
import argparse
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

CORE, ABORT, PORTMAP = 0x0607AF, 0x0607B0, 100000
SERIAL = "TPG35-20652"  # the generator --simulate serves without --serial


def check(what, ok, detail=""):
    if not ok:
        sys.exit(f"FAILED {what} {detail}")


class Rpc:
    """A minimal ONC RPC client over TCP (AUTH_NONE), for the calls PyVISA does not make."""

    def __init__(self, port, host="127.0.0.1"):
        self.sock = socket.create_connection((host, port), timeout=5)
        self.xid = 0

    def send(self, prog, vers, proc, args=b""):
        self.xid += 1
        record = struct.pack(">10I", self.xid, 0, 2, prog, vers, proc, 0, 0, 0, 0) + args
        self.sock.sendall(struct.pack(">I", 0x80000000 | len(record)) + record)

    def recv(self):
        data = b""
        while True:
            header = struct.unpack(">I", self.exact(4))[0]
            data += self.exact(header & 0x7FFFFFFF)
            if header & 0x80000000:
                break
        xid, kind, status = struct.unpack(">3I", data[:12])
        check("reply header", xid == self.xid and kind == 1 and status == 0, repr(data[:16]))
        accept = struct.unpack(">I", data[20:24])[0]
        return accept, data[24:]

    def call(self, prog, vers, proc, args=b""):
        self.send(prog, vers, proc, args)
        return self.recv()

    def exact(self, n):
        out = b""
        while len(out) < n:
            piece = self.sock.recv(n - len(out))
            if not piece:
                raise ConnectionError("closed")
            out += piece
        return out


def opaque(data):
    return struct.pack(">I", len(data)) + data + b"\0" * (-len(data) % 4)


def words(data, n):
    return struct.unpack(f">{n}i", data[: 4 * n])


def start(cli):
    server = subprocess.Popen(cli + ["serve", "--simulate"] + EXTRA, stdout=subprocess.PIPE,
                              text=True)
    first = server.stdout.readline()
    second = server.stdout.readline()
    match = re.fullmatch(r"VXI-11 core channel on [\d.]+:(\d+), portmapper on port 111\n",
                         second)
    if not first.startswith("listening on") or not match:
        server.kill()
        sys.exit(f"FAILED: the server said {first!r} {second!r}")
    return server, int(match.group(1))


LOCKER = """
import sys, time, pyvisa
rm = pyvisa.ResourceManager("@py")
s = rm.open_resource("TCPIP::127.0.0.1::INSTR")
s.lock_excl()
print("locked", flush=True)
time.sleep(30)
"""


def locker():
    child = subprocess.Popen(["/usr/bin/python3", "-c", LOCKER], stdout=subprocess.PIPE, text=True)
    check("a second process takes the lock", child.stdout.readline() == "locked\n")
    return child


def socket_client():
    s = socket.create_connection(("127.0.0.1", 5025), timeout=5)
    f = s.makefile("rw", newline="\n")

    def query(text):
        f.write(text + "\n")
        f.flush()
        return f.readline().strip()

    def send(text):
        f.write(text + "\n")
        f.flush()

    return s, query, send


def pyvisa_checks(core_port):
    import pyvisa
    from pyvisa import constants, errors

    rm = pyvisa.ResourceManager("@py")
    a = rm.open_resource("TCPIP::127.0.0.1::INSTR", read_termination="\n")
    a.timeout = 3000
    check("*IDN?", SERIAL in a.query("*IDN?"))
    by_serial = rm.open_resource(f"TCPIP::127.0.0.1::{SERIAL}::INSTR")
    check("the serial number as the device name", SERIAL in by_serial.query("*IDN?"))
    by_serial.close()

    # 2 KiB in one message, written without END: it ends at its LF.
    a.write("*RST")
    long = ";".join(["*OPC"] * 420) + ";FREQ 2000000"
    check("message length", len(long) > 2048)
    a.send_end = False
    a.write_raw(long.encode() + b"\n")
    a.send_end = True
    check("a long message ended by LF", a.query("FREQ?") == "2000000")
    a.send_end = False
    a.write("FREQ 3000000")
    a.send_end = True
    check("a message without END, ended by LF", a.query("FREQ?") == "3000000")

    # The status byte: MAV while an answer waits, ESB with *ESE 16 after
    # an execution error, the error queue bit.
    a.write("*CLS;*ESE 16")
    check("status clear", a.read_stb() == 0, a.read_stb())
    a.write("*IDN?")
    check("MAV with an unread answer", a.read_stb() & 0x10 == 0x10)
    a.read()
    check("no MAV once read", a.read_stb() & 0x10 == 0)
    a.write("FREQ 1")
    stb = a.read_stb()
    check("ESB and the error queue after an execution error", stb & 0x24 == 0x24, stb)
    check("*ESR? says execution error", a.query("*ESR?") == "16")
    check("the error", a.query("SYST:ERR?").startswith("-222,"))
    check("status clear again", a.read_stb() == 0)

    # Device clear with an answer pending: it is gone, the link serves on.
    a.write("*IDN?")
    a.clear()
    check("clear drops the answer", a.read_stb() & 0x10 == 0)
    check("served after clear", a.query("*OPC?") == "1")

    # A long answer read in parts (requestSize).
    a.chunk_size = 16
    check("an answer in parts", SERIAL in a.query("*IDN?"))
    a.chunk_size = 20 * 1024

    # The lock: a second session and a socket client are refused settings.
    b = rm.open_resource("TCPIP::127.0.0.1::INSTR", read_termination="\n")
    b.timeout = 2000
    sock, query, send = socket_client()
    a.lock_excl()
    try:
        b.write("FREQ 4000000")
        check("a second session's write while locked", False, "was taken")
    except errors.VisaIOError as e:
        # pyvisa-py tells any failed device_write as an I/O error; the raw
        # checks see the error 11 itself.
        check("locked error", e.error_code in (constants.StatusCode.error_resource_locked,
                                               constants.StatusCode.error_io), e)
    send("FREQ 5000000")
    err = query("SYST:ERR?")
    check("socket setting refused", err.startswith("-203,") and "locked by another client" in err,
          err)
    check("socket query answers while locked", query("FREQ?") == "3000000")
    a.write("FREQ 6000000")
    check("the holder sets", a.query("FREQ?") == "6000000")
    a.unlock()
    send("FREQ 7000000")
    check("socket sets after unlock", query("FREQ?") == "7000000")
    b.write("FREQ 8000000")
    check("second session sets after unlock", b.query("FREQ?") == "8000000")

    # A holder killed with SIGKILL: its connection drops, the lock goes.
    child = locker()
    try:
        b.write("FREQ 9000000")
        check("write while another process holds the lock", False)
    except errors.VisaIOError:
        pass
    # pyvisa-py asks device_lock without waitlock: refused at once (the
    # raw checks below wait for the lock).
    try:
        b.lock_excl(timeout=500)
        check("lock_excl while another holds the lock", False)
    except errors.VisaIOError as e:
        check("lock_excl refused", e.error_code == constants.StatusCode.error_resource_locked, e)
    child.send_signal(signal.SIGKILL)
    child.wait()
    for attempt in range(30):  # the server hears of the dropped connection at once
        try:
            b.lock_excl()
            break
        except errors.VisaIOError:
            check("the killed holder's lock goes", attempt < 29)
            time.sleep(0.1)
    b.write("FREQ 9000000")
    send("FREQ 10000000")
    check("socket refused while b holds", query("SYST:ERR?").startswith("-203,"))
    b.unlock()
    check("a sees b's setting", a.query("FREQ?") == "9000000")
    sock.close()
    a.close()
    b.close()
    rm.close()


def raw_checks(core_port):
    # The portmapper: GETPORT over TCP and UDP, rpcbind's versions 3 and 4
    # refused with the range served, DUMP.
    pm = Rpc(111)
    accept, body = pm.call(PORTMAP, 2, 3, struct.pack(">4I", CORE, 1, 6, 0))
    check("GETPORT over TCP", accept == 0 and words(body, 1)[0] == core_port)
    for version in (3, 4):
        accept, body = pm.call(PORTMAP, version, 3, b"")
        check(f"rpcbind version {version}", accept == 2 and words(body, 2) == (2, 2))
    accept, body = pm.call(PORTMAP, 2, 4)
    check("DUMP lists the core channel", accept == 0 and struct.pack(">4I", CORE, 1, 6, core_port)
          in body)
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.settimeout(3)
    udp.sendto(struct.pack(">14I", 77, 0, 2, PORTMAP, 2, 3, 0, 0, 0, 0, CORE, 1, 6, 0),
               ("127.0.0.1", 111))
    reply = udp.recv(100)
    check("GETPORT over UDP", struct.unpack(">7I", reply[:28]) == (77, 1, 0, 0, 0, 0, core_port))

    core = Rpc(core_port)

    def create(name=b"inst0", lock=0, timeout=0):
        accept, body = core.call(CORE, 1, 10, struct.pack(">iiI", 1, lock, timeout) + opaque(name))
        check("create_link accepted", accept == 0)
        return struct.unpack(">iiII", body)

    check("an unknown device", create(b"inst9")[0] == 3)
    error, link, abort_port, max_recv = create()
    check("create_link", error == 0 and abort_port > 0 and max_recv >= 1024)
    accept, body = core.call(CORE, 1, 19, struct.pack(">i", link))
    check("unlock without the lock", words(body, 1)[0] == 12)
    accept, body = core.call(CORE, 1, 99)
    check("unknown procedure", accept == 3)
    accept, body = core.call(CORE, 1, 11, struct.pack(">i", link))
    check("garbage arguments", accept == 4)
    accept, body = core.call(CORE, 1, 25, b"\0" * 20)
    check("no interrupt channel", words(body, 1)[0] == 6)
    accept, body = core.call(CORE, 1, 11, struct.pack(">iIIi", 999, 1000, 0, 8) + opaque(b"*CLS"))
    check("an invalid link", words(body, 1)[0] == 4)

    # A read waits for its answer; device_abort on the abort channel ends it.
    started = time.monotonic()
    core.send(CORE, 1, 12, struct.pack(">iIIIii", link, 100, 20000, 0, 0, 0))
    time.sleep(0.3)
    ab = Rpc(abort_port)
    accept, body = ab.call(ABORT, 1, 1, struct.pack(">i", link))
    check("device_abort", accept == 0 and words(body, 1)[0] == 0)
    accept, body = core.recv()
    check("the read aborted", words(body, 1)[0] == 23 and time.monotonic() - started < 5)
    # A read that times out.
    accept, body = core.call(CORE, 1, 12, struct.pack(">iIIIii", link, 100, 300, 0, 0, 0))
    check("the read times out", words(body, 1)[0] == 15)
    # requestSize honoured: the answer in parts, REQCNT then END.
    core.call(CORE, 1, 11, struct.pack(">iIIi", link, 1000, 0, 8) + opaque(b"*IDN?\n"))
    parts = []
    while True:
        accept, body = core.call(CORE, 1, 12, struct.pack(">iIIIii", link, 10, 1000, 0, 0, 0))
        error, reason, length = struct.unpack(">iiI", body[:12])
        check("a part", error == 0 and length <= 10)
        parts.append(body[12:12 + length])
        if reason & 4:
            break
        check("REQCNT", reason == 1)
    check("the parts make the answer", SERIAL.encode() in b"".join(parts))

    # The lock between two links of one client: error 11 at once, or after
    # lock_timeout with waitlock; the holder's lock goes with its link.
    other = create()[1]
    accept, body = core.call(CORE, 1, 18, struct.pack(">iiI", link, 0, 0))
    check("device_lock", words(body, 1)[0] == 0)
    accept, body = core.call(CORE, 1, 11, struct.pack(">iIIi", other, 1000, 0, 8) +
                             opaque(b"FREQ 1e6\n"))
    check("a write locked out at once", words(body, 2) == (11, 0))
    started = time.monotonic()
    accept, body = core.call(CORE, 1, 11, struct.pack(">iIIi", other, 1000, 300, 9) +
                             opaque(b"FREQ 1e6\n"))
    check("a write that waits for the lock times out", words(body, 2) == (11, 0) and
          0.25 < time.monotonic() - started < 5)
    accept, body = core.call(CORE, 1, 18, struct.pack(">iiI", other, 1, 200))
    check("a lock that waits times out", words(body, 1)[0] == 11)
    check("create_link with lockDevice waits and times out", create(lock=1, timeout=200)[0] == 11)
    accept, body = core.call(CORE, 1, 23, struct.pack(">i", link))
    check("destroy_link", words(body, 1)[0] == 0)
    accept, body = core.call(CORE, 1, 18, struct.pack(">iiI", other, 0, 0))
    check("the lock went with its link", words(body, 1)[0] == 0)
    accept, body = core.call(CORE, 1, 19, struct.pack(">i", other))
    error, locked, _, _ = create(lock=1)
    check("create_link with lockDevice takes the lock", error == 0)
    accept, body = core.call(CORE, 1, 18, struct.pack(">iiI", other, 0, 0))
    check("the new link holds the lock", words(body, 1)[0] == 11)
    core.call(CORE, 1, 23, struct.pack(">i", locked))
    link = other

    # Bounds: links per connection, a record past the limit.
    links = [create() for _ in range(10)]
    check("links per connection bounded", any(r[0] == 9 for r in links))
    big = Rpc(core_port)
    big.sock.sendall(struct.pack(">I", 0x80000000 | (1 << 30)))
    check("a record past the limit closes the connection", big.sock.recv(1) == b"")
    accept, body = core.call(CORE, 1, 23, struct.pack(">i", link))
    check("destroy_link", words(body, 1)[0] == 0)


def lxi_checks(cli):
    # Two namespaces of this test's own, joined by a veth pair: the server in
    # this one (10.77.0.1), lxi in a child's (10.77.0.2).
    peer = subprocess.Popen(["unshare", "-n", "sleep", "60"])
    time.sleep(0.2)
    run = lambda *a: subprocess.run(a, check=True)  # noqa: E731
    run("ip", "link", "add", "tv0", "type", "veth", "peer", "name", "tv1")
    run("ip", "link", "set", "tv1", "netns", str(peer.pid))
    run("ip", "addr", "add", "10.77.0.1/24", "broadcast", "10.77.0.255", "dev", "tv0")
    run("ip", "link", "set", "tv0", "up")
    ns = ["nsenter", "-t", str(peer.pid), "-n"]
    run(*ns, "ip", "link", "set", "lo", "up")
    run(*ns, "ip", "addr", "add", "10.77.0.2/24", "broadcast", "10.77.0.255", "dev", "tv1")
    run(*ns, "ip", "link", "set", "tv1", "up")
    time.sleep(0.5)
    try:
        found = subprocess.run(ns + ["lxi", "discover", "-t", "2"], capture_output=True,
                               text=True, timeout=30)
        check("lxi discover lists the generator", "10.77.0.1" in found.stdout and SERIAL in
              found.stdout, found.stdout + found.stderr)
        idn = subprocess.run(ns + ["lxi", "scpi", "-a", "10.77.0.1", "*IDN?"], capture_output=True,
                             text=True, timeout=30)
        check("lxi scpi *IDN?", SERIAL in idn.stdout, idn.stdout + idn.stderr)
    finally:
        peer.kill()
        peer.wait()


def unprivileged_checks(cli):
    # Without the right to bind port 111: said once, with the fix; the
    # socket and the core channel are served. The program is copied where
    # nobody may run it (the build tree may be in root's home).
    work = tempfile.mkdtemp()
    os.chmod(work, 0o755)
    program = os.path.join(work, "trelvix-pulse-cli")
    shutil.copy(cli[-1], program)
    cli = cli[:-1] + [program]
    server = subprocess.Popen(["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                               "--inh-caps=-all", "--bounding-set=-all"] + cli +
                              ["serve", "--simulate"], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True)
    first = server.stdout.readline()
    second = server.stdout.readline()
    check("listening without port 111", first.startswith("listening on") and
          second.endswith(", no portmapper\n"), first + second)
    _, query, _ = socket_client()
    check("the socket serves", SERIAL in query("*IDN?"))
    core = Rpc(int(re.search(r":(\d+),", second).group(1)))
    accept, body = core.call(CORE, 1, 10, struct.pack(">iiI", 1, 0, 0) + opaque(b"inst0"))
    check("the core channel serves", accept == 0 and words(body, 1)[0] == 0)
    server.send_signal(signal.SIGINT)
    _, err = server.communicate(timeout=10)
    told = [line for line in err.splitlines() if "port 111" in line]
    check("told once, with the fix", len(told) == 1 and "CAP_NET_BIND_SERVICE" in told[0] and
          "Permission denied" in told[0], err)
    check("serve stops on SIGINT", server.returncode == 0, server.returncode)
    shutil.rmtree(work)


def main():
    global EXTRA
    if os.environ.get("TPG_VXI11_NS") != "1":
        os.environ["TPG_VXI11_NS"] = "1"
        os.execvp("unshare", ["unshare", "-n", sys.executable] + sys.argv)
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    parser = argparse.ArgumentParser()
    parser.add_argument("--lxi", action="store_true")
    parser.add_argument("--unprivileged", action="store_true")
    parser.add_argument("cli", nargs="+")
    args = parser.parse_args()
    if args.unprivileged:
        unprivileged_checks(args.cli)
        print("all VXI-11 checks passed")
        return
    EXTRA = ["--listen", "0.0.0.0:5025"] if args.lxi else []
    server, core_port = start(args.cli)
    killer = threading.Timer(100, server.kill)  # bounded, whatever happens
    killer.start()
    try:
        if args.lxi:
            lxi_checks(args.cli)
        else:
            pyvisa_checks(core_port)
            raw_checks(core_port)
    finally:
        server.send_signal(signal.SIGINT)
        code = server.wait(timeout=10)
        killer.cancel()
    check("serve stops on SIGINT", code == 0, code)
    print("all VXI-11 checks passed")


EXTRA = []
if __name__ == "__main__":
    main()
