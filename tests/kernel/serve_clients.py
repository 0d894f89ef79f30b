#!/usr/bin/python3
"""Real clients against trelvix-pulse-cli serve in the kernel test's guest
(scripts/test-kernel.sh). PyVISA on this machine reaches the guest's server
through QEMU's user-mode network, run in a network namespace of the test's
own: PORT on its loopback is forwarded to the guest's 5025, and 111 (the
portmapper) and the core channel's port to the same ports of the guest, so
that TCPIP::127.0.0.1::INSTR finds VXI-11 there. The guest's half
(tests/kernel/serve_guest.sh) plugs and
unplugs one virtual generator, uhid or USB, as this script asks over the
guest's second serial port (CONTROL, a Unix socket), and hands back the
reports the generator printed as received. Each kind: every setting and bad
command of serve_checks.py compared with those bytes, two clients at once,
the generator unplugged (-241) and the next one served on the same
connection. On the USB generator, VXI-11 too: settings, *RST and bad values
compared with the reports, and a session's lock refusing another session's
and a socket client's settings. Then its web page, served on the guest's
network card with a password and forwarded from HTTP_PORT: a frequency
change posted as the page's script posts it from a browser on this machine,
refused without the password and taken with it, compared with the report,
and the LXI identification compared with *IDN?.

    serve_clients.py CONTROL PORT HTTP_PORT PAGE_PASSWORD
"""
import base64
import concurrent.futures
import http.client
import json
import pathlib
import socket
import sys
import time
import xml.etree.ElementTree as ET

import pyvisa
from pyvisa import constants, errors

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
    "SOUR1:FREQ 0.35 GHZ": ["00 01 00 80 93 DC 14 00"],
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


# VXI-11 on the USB generator: a command of SENT (or one that sends
# nothing), the query that reads it back and its answer.
VXI11_SETTINGS = [
    ("*RST", "FREQ?;:VOLT:IND?", "10000000;339"),
    ("FREQ 12.5 MHZ", "FREQ?", "12500000"),
    ("VOLT 667 MV", "VOLT:IND?", "200"),
    ("EXT:DIR INP", "EXT:DIR?", "INP"),
    ("FREQ 3e6;:VOLT:IND 10;:EXT:POL INV", "FREQ?;:VOLT:IND?;:EXT:POL?", "3000000;10;INV"),
    ("FREQ 1", "SYST:ERR?", '-222,"Data out of range;Pulse frequency is between 25kHz and 350MHz"'),
    ("VOLT 2", "VOLT:IND?;:SYST:ERR?", '10;-222,"Data out of range;Amplitude is between 49mV and '
                                       '1624mV"'),
    ("*RST", "FREQ?;:EXT:DIR?;:EXT:POL?", "10000000;OUTP;NORM"),
]


def vxi11_checks(port, guest):
    """PyVISA over VXI-11 against the generator plugged now: the portmapper
    and the core channel reached through the forwarded ports, every setting's
    reports as sent, a bad value sending nothing; then a lock_excl held by
    one session refusing another session's setting and lock and a socket
    client's setting (-203, queries still answered), none of them sending a
    report, and the settings taken again once it is unlocked."""
    rm = pyvisa.ResourceManager("@py")
    a = rm.open_resource("TCPIP::127.0.0.1::INSTR", read_termination="\n", timeout=5000)
    check("VXI-11: *IDN?'s serial", a.query("*IDN?").split(",")[2], SERIAL)
    for command, query, answer in VXI11_SETTINGS:
        a.write(command)
        check(f"VXI-11: {command}", a.query(query), answer)
    check("VXI-11: the queue", a.query("SYST:ERR?"), NO_ERROR)
    expected = [r for row in VXI11_SETTINGS for r in SENT.get(row[0], [])]
    check("VXI-11: the reports the settings sent", guest.reports(len(expected)), expected)

    b = rm.open_resource("TCPIP::127.0.0.1::INSTR", read_termination="\n", timeout=5000)
    sock = open_generator(port)
    a.lock_excl()
    try:
        b.write("FREQ 4000000")
        check("VXI-11: another session's setting while locked", "taken", "refused")
    except errors.VisaIOError as e:
        # pyvisa-py tells a refused device_write as an I/O error.
        check("VXI-11: another session's setting refused", e.error_code in (
            constants.StatusCode.error_resource_locked, constants.StatusCode.error_io), True)
    try:
        b.lock_excl(timeout=500)
        check("VXI-11: another session's lock while locked", "taken", "refused")
    except errors.VisaIOError as e:
        check("VXI-11: another session's lock refused", e.error_code,
              constants.StatusCode.error_resource_locked)
    sock.write("FREQ 5000000")
    err = sock.query("SYST:ERR?")
    check("VXI-11: the socket client's setting while locked",
          (err[:5], "locked by another client" in err, sock.query("FREQ?")),
          ("-203,", True, "10000000"))
    a.write("FREQ 6000000")
    check("VXI-11: the holder's setting", a.query("FREQ?;:SYST:ERR?"), f"6000000;{NO_ERROR}")
    a.unlock()
    sock.write("FREQ 7000000")
    b.write("VOLT:IND 20")
    check("VXI-11: settings after the unlock", (sock.query("SYST:ERR?"), b.query("SYST:ERR?"),
                                                 a.query("FREQ?;:VOLT:IND?")),
          (NO_ERROR, NO_ERROR, "7000000;20"))
    check("VXI-11: the reports of the lock's holder alone, then of the others",
          guest.reports(3), ["00 01 00 80 8D 5B 00 00", "00 01 00 C0 CF 6A 00 00",
                             "00 02 00 14 00 00 00 00"])
    for session in (sock, b, a):
        session.close()  # not the resource manager: it is the one gen's session is in


LXI = "{http://www.lxistandard.org/InstrumentIdentification/1.0}"


def page_checks(gen, guest, http_port, password):
    """The page as a browser on this machine reaches it: at
    http://127.0.0.1:HTTP_PORT/, so Host and Origin name that address, and a
    change is the script's fetch: a POST of JSON.stringify's text, same-origin,
    with the Basic credentials the browser keeps once signed in."""
    address = f"127.0.0.1:{http_port}"

    def request(method, path, body=None, headers=None):
        connection = http.client.HTTPConnection("127.0.0.1", http_port, timeout=10)
        connection.request(method, path, body, {"Host": address, **(headers or {})})
        answer = connection.getresponse()
        data = answer.read().decode()
        connection.close()
        return answer, data

    answer, state = request("GET", "/state")
    state = json.loads(state)
    check("page: the state on the guest's card", (answer.status, state["signIn"],
                                                  state["readOnly"] or None), (200, True, None))
    change = {"Origin": f"http://{address}", "Content-Type": "application/json",
              "Sec-Fetch-Site": "same-origin", "Sec-Fetch-Mode": "cors", "Sec-Fetch-Dest": "empty"}
    body = json.dumps({"control": "Foutput", "text": "12.5e6"}, separators=(",", ":"))
    answer, _ = request("POST", "/settings", body, change)
    asked = "Basic" in answer.getheader("WWW-Authenticate", "")
    check("page: a change without the password", (answer.status, asked), (401, True))
    signed = {**change, "Authorization": "Basic " + base64.b64encode(
        f"user:{password}".encode()).decode()}
    answer, reply = request("POST", "/settings", body, signed)
    check("page: the change with the password", (answer.status, json.loads(reply)["sent"]),
          (200, True))
    check("page: the change read back over SCPI", gen.query("FREQ?;:SYST:ERR?"),
          f"12500000;{NO_ERROR}")
    check("page: the report the change sent (none for the refused one)", guest.reports(1),
          SENT["FREQ 12.5 MHZ"])

    answer, data = request("GET", "/lxi/identification")
    root = ET.fromstring(data)
    fields = [root.find(LXI + tag).text
              for tag in ["Manufacturer", "Model", "SerialNumber", "FirmwareRevision"]]
    check("page: the identification is *IDN?", (answer.status, fields),
          (200, gen.query("*IDN?").split(",")))


def kind_checks(kind, gen, port, guest, page):
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
    if kind == "usb":
        began = time.monotonic()
        vxi11_checks(port, guest)
        print(f"serve clients: {kind}: VXI-11 (TCPIP::127.0.0.1::INSTR): {len(VXI11_SETTINGS)} "
              "settings and bad values as sent, a session's lock refusing the others "
              f"({time.monotonic() - began:.1f} s)")
        began = time.monotonic()
        page_checks(gen, guest, *page)
        print(f"serve clients: {kind}: the page at 127.0.0.1:{page[0]} (the guest's "
              f"0.0.0.0:{page[0]}): a frequency change refused without the password and sent "
              f"with it as the report, the identification *IDN? ({time.monotonic() - began:.1f} s)")
    guest.ask("unplug")
    gen.write("FREQ 2e6")
    check(f"{kind} unplugged", (gen.query("SYST:ERR?"), gen.query("*TST?")),
          ('-241,"Hardware missing"', "1"))
    print(f"serve clients: {kind}: unplugged, -241")


def main():
    control, port = sys.argv[1], int(sys.argv[2])
    page = (int(sys.argv[3]), sys.argv[4])
    guest = Guest(control)
    began = time.monotonic()
    passed = False
    try:
        gen = open_generator(port)
        check("no generator yet", gen.query("*TST?"), "1")
        for kind in ["uhid", "usb"]:
            kind_checks(kind, gen, port, guest, page)
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
