#!/usr/bin/python3
"""Real clients against trelvix-pulse-cli serve in the kernel test's guest
(scripts/test-kernel.sh). PyVISA on this machine reaches the guest's server
through QEMU's user-mode network: PORT on the host's loopback is forwarded to
the guest's 5025. The guest's half (tests/kernel/serve_guest.sh) plugs and
unplugs one virtual generator, uhid or USB, as this script asks over the
guest's second serial port (CONTROL, a Unix socket), and hands back the
reports the generator printed as received. Each kind: every setting and bad
command of serve_checks.py compared with those bytes, two clients at once,
the generator unplugged (-241) and the next one served on the same
connection.

    serve_clients.py CONTROL PORT
"""
import concurrent.futures
import pathlib
import socket
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "serve"))
from serve_checks import BAD, NO_ERROR, SETTINGS, check, open_generator, setting_checks  # noqa: E402

SERIAL = "TPG-PYVISA"
RESTORE = ["00 01 00 80 96 98 00 00", "00 02 00 53 01 00 00 00", "00 02 00 53 01 00 00 00",
           "00 05 00 00 00 00 00 00", "00 05 00 00 00 00 00 00", "00 06 00 80 96 98 00 00",
           "00 03 00 01 00 00 00 00", "00 03 00 01 00 00 00 00"]
# What the commands of SETTINGS and BAD send, as the generator prints the
# first 8 bytes of a report (the report ID first); the others send nothing.
SENT = {
    "FREQ 12.5 MHZ": ["00 01 00 20 BC BE 00 00"],
    "sour:freq:cw 25e3": ["00 01 00 A8 61 00 00 00"],
    "FREQ MAX": ["00 01 00 80 93 DC 14 00"],
    "FREQ 1000000.5": ["00 01 00 41 42 0F 00 00"],
    "VOLT 1.097": ["00 02 00 53 01 00 00 00"],
    "VOLT 667 MV": ["00 02 00 C8 00 00 00 00"],
    "SOUR:VOLT:LEV:IMM:AMPL MIN": ["00 02 00 00 00 00 00 00"],
    "VOLT:IND 339": ["00 02 00 53 01 00 00 00"],
    "EXT:DIR INP": ["00 05 00 01 00 00 00 00"],
    "EXTERNAL:DIRECTION OUTPUT": ["00 05 00 00 00 00 00 00"],
    "EXT:FREQ 2000000.5": ["00 06 00 80 84 1E 00 00"],
    "EXT:POL INV": ["00 03 00 00 00 00 00 00"],
    "ext:pol norm": ["00 03 00 01 00 00 00 00"],
    "FREQ 3e6;:VOLT:IND 10;:EXT:POL INV": ["00 01 00 C0 C6 2D 00 00", "00 02 00 0A 00 00 00 00",
                                           "00 03 00 00 00 00 00 00"],
    "*RST": RESTORE,
    "FREQ 2e6;VOLT 9": ["00 01 00 80 84 1E 00 00"],
}
check("SENT names commands of the checks",
      set(SENT) <= {row[0] for row in SETTINGS + BAD}, True)


def le32(value):
    return " ".join(f"{b:02X}" for b in value.to_bytes(4, "little"))


class Guest:
    """The guest's half over the second serial port: one request a line,
    answered with lines and "end". "ready" lines come while it waits for
    the first request."""

    def __init__(self, path):
        deadline = time.monotonic() + 30
        while True:
            try:
                self.sock = socket.socket(socket.AF_UNIX)
                self.sock.connect(path)
                break
            except OSError:
                self.sock.close()
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.2)
        self.buffer = b""
        self.seen = 0  # reports already compared, of the generator plugged now
        self.kind = None
        self.line(timeout=280)  # the first "ready": the guest reached its half

    def line(self, timeout=30):
        self.sock.settimeout(timeout)
        while b"\n" not in self.buffer:
            data = self.sock.recv(4096)
            if not data:
                sys.exit("FAILED: the guest closed its serial port")
            self.buffer += data
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.decode(errors="replace").strip("\r")

    def ask(self, request):
        self.sock.sendall(request.encode() + b"\n")
        lines = []
        while (line := self.line()) != "end":
            if line != "ready":
                lines.append(line)
        failed = [line for line in lines if line.startswith("failed")]
        check(f"guest's {request!r}", failed, [])
        return lines

    def plug(self, kind):
        self.ask("plug" if kind == "uhid" else "plug usb")
        self.seen = 0
        self.kind = kind

    def reports(self, count):
        """The reports received since the last call, once there are count
        of them and nothing more comes (the generator prints every 100 ms)."""
        deadline = time.monotonic() + 10
        while True:
            lines = self.ask(f"reports {self.seen}")
            got = [r for r in (sent_report(line, self.kind) for line in lines) if r]
            if len(got) >= count or time.monotonic() > deadline:
                break
            time.sleep(0.1)
        time.sleep(0.3)
        more = self.ask(f"reports {self.seen + len(lines)}")
        self.seen += len(lines) + len(more)
        return got + [r for r in (sent_report(line, self.kind) for line in more) if r]


def sent_report(line, kind):
    """A received report's first 8 bytes from a line of the generator's log:
    uhid prints the report, ID byte first; USB the SET_REPORT with its
    setup packet and the data, which lack the ID byte. GET_REPORTs send
    nothing: None."""
    body = line.split(" received ", 1)[1]
    check(f"a line of the {kind} generator", body.startswith(("GET_REPORT", "SET_REPORT")),
          kind == "usb")
    if body.startswith("GET_REPORT"):
        return None
    if body.startswith("SET_REPORT "):
        setup, data = body[len("SET_REPORT "):].split(": ", 1)
        check("SET_REPORT as usbhid sends it", (setup, data.endswith("(64 bytes)")),
              ("21 09 00 03 00 00 40 00", True))
        body = "00 " + data
    else:
        check("the report's length", body.endswith("(65 bytes)"), True)
    return " ".join(body.split()[:8])


def wait_served(gen):
    deadline = time.monotonic() + 20
    while gen.query("*TST?") != "0":
        check("served within 20 s", time.monotonic() < deadline, True)
        time.sleep(0.2)


def two_clients(port, guest):
    """Two clients at once, each its own setting; each client's reports reach
    the generator in its order, an error stays in its client's queue."""
    def run(commands):
        gen = open_generator(port)
        for command in commands:
            gen.write(command)
            check(command, gen.query("*OPC?"), "1")
        return gen
    a = [f"FREQ {1000000 + 1000 * k}" for k in range(20)]
    b = [f"VOLT:IND {k}" for k in range(20)]
    a.insert(10, "FREQ 1")
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        gen_a, gen_b = [f.result() for f in [pool.submit(run, a), pool.submit(run, b)]]
    check("two clients' queues", (gen_a.query("SYST:ERR?")[:5], gen_a.query("SYST:ERR?"),
                                  gen_b.query("SYST:ERR?")), ("-222,", NO_ERROR, NO_ERROR))
    got = guest.reports(40)
    check("two clients' frequencies", [r for r in got if r[3:5] == "01"],
          [f"00 01 00 {le32(1000000 + 1000 * k)} 00" for k in range(20)])
    check("two clients' amplitude steps", [r for r in got if r[3:5] == "02"],
          [f"00 02 00 {le32(k)} 00" for k in range(20)])
    check("two clients: nothing else", len(got), 40)
    gen_a.close()
    gen_b.close()


def kind_checks(kind, gen, port, guest):
    guest.plug(kind)
    wait_served(gen)
    check(f"{kind}: *IDN?'s serial", gen.query("*IDN?").split(",")[2], SERIAL)
    setting_checks(gen)
    expected = [r for row in SETTINGS + BAD for r in SENT.get(row[0], [])]
    check(f"{kind}: the reports the settings sent", guest.reports(len(expected)), expected)
    print(f"serve clients: {kind}: {len(SETTINGS)} settings and {len(BAD)} bad commands, "
          f"{len(expected)} reports as sent")
    two_clients(port, guest)
    print(f"serve clients: {kind}: two clients at once")
    guest.ask("unplug")
    gen.write("FREQ 2e6")
    check(f"{kind} unplugged", (gen.query("SYST:ERR?"), gen.query("*TST?")),
          ('-241,"Hardware missing"', "1"))
    print(f"serve clients: {kind}: unplugged, -241")


def main():
    control, port = sys.argv[1], int(sys.argv[2])
    guest = Guest(control)
    began = time.monotonic()
    passed = False
    try:
        gen = open_generator(port)
        check("no generator yet", gen.query("*TST?"), "1")
        for kind in ["uhid", "usb"]:
            kind_checks(kind, gen, port, guest)
        guest.plug("uhid")  # back after the USB generator's unplug
        wait_served(gen)
        gen.write("FREQ 4e6")
        check("back", (gen.query("FREQ?"), gen.query("SYST:ERR?")), ("4000000", NO_ERROR))
        check("back: the report", guest.reports(1), ["00 01 00 00 09 3D 00 00"])
        print("serve clients: uhid: back, served on the same connection")
        gen.close()
        passed = True
    finally:
        guest.ask("done pass" if passed else "done fail")
    print(f"serve clients passed in {time.monotonic() - began:.1f} s")


if __name__ == "__main__":
    main()
