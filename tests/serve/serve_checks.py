#!/usr/bin/python3
"""Drives `trelvix-pulse-cli serve --simulate` with real clients, as a lab
script would: PyVISA over pyvisa-py (TCPIP0::127.0.0.1::PORT::SOCKET), the
README's example as written, or the pymeasure class of examples/.

    serve_checks.py [--pymeasure | --readme] [--stop kill] -- CLI [ARGS...]

CLI is how to start the command line (e.g. build/debug/apps/cli/trelvix-pulse-cli,
or wine trelvix-pulse-cli.exe). The simulated generator's settings are
checked by reading them back through the server: each query reads the
generator's state report.
"""
import argparse
import pathlib
import re
import signal
import socket
import subprocess
import sys

import pyvisa

ROOT = pathlib.Path(__file__).resolve().parents[2]
NO_ERROR = '0,"No error"'
STATE = ["FREQ?", "VOLT?", "VOLT:IND?", "EXT:DIR?", "EXT:FREQ?", "EXT:POL?"]

# A setting, the query that reads it back, the answer.
SETTINGS = [
    ("FREQ 12.5 MHZ", "FREQ?", "12500000"),
    ("sour:freq:cw 25e3", "SOURCE:FREQUENCY:CW?", "25000"),
    ("FREQ MAX", "FREQ?", "350000000"),
    ("FREQ 1000000.5", "FREQ?", "1000001"),
    ("SOUR1:FREQ 0.35 GHZ", "SOURCE1:FREQ?", "350000000"),
    ("VOLT 1.097", "VOLT?", "1.096"),  # the nearest step
    ("VOLT 667 MV", "VOLT:IND?", "200"),
    ("SOUR:VOLT:LEV:IMM:AMPL MIN", "VOLT?", "0.049"),
    ("VOLT:IND 339", "VOLT?", "1.096"),
    ("EXT:DIR INP", "EXT:DIR?", "INP"),
    ("EXTERNAL:DIRECTION OUTPUT", "EXT:DIR?", "OUTP"),
    ("EXT:FREQ 2000000.5", "EXT:FREQ?", "2000000"),
    ("EXT:POL INV", "EXT:POL?", "INV"),
    ("ext:pol norm", "ext:pol?", "NORM"),
    ("FREQ 3e6;:VOLT:IND 10;:EXT:POL INV", "FREQ?;:VOLT:IND?;:EXT:POL?", "3000000;10;INV"),
    ("*RST", ";:".join(STATE), "10000000;1.096;339;OUTP;10000000;NORM"),
    ("*CLS;*ESE 36", "*ESE?;*OPC?;*TST?;SYST:VERS?", "36;1;0;1999.0"),
    # A generator is open: no QUEStionable condition; *STB? shows only MAV.
    ("STAT:QUES:ENAB 512;*SRE 136", "STAT:QUES:ENAB?;COND?;:STAT:OPER?;*STB?", "512;0;0;16"),
]

# A bad command and the error it queues; the generator keeps its settings.
BAD = [
    ("FREQ 1", '-222,"Data out of range;Pulse frequency is between 25kHz and 350MHz"'),
    ("VOLT 2", '-222,"Data out of range;Amplitude is between 49mV and 1624mV"'),
    ("EXT:FREQ 1", "-222,"),
    ("VOLT:IND 511", "-222,"),
    ("FREQ 1e6 V", "-131,"),
    ("FREQ 1e6,2e6", "-108,"),
    ("FREQ", "-109,"),
    ("FREQ 1.2.3", "-102,"),
    ("FROB 1", "-113,"),
    ("EXT:DIR SIDEWAYS", "-224,"),
    ("FREQ? MAXI", '-224,"Illegal parameter value;MAXI"'),
    ("SOUR2:FREQ 1e6", "-113,"),
    ("FREQ 2e6;VOLT 9", "-222,"),  # the first command ran: the check below knows
    ("X" * 70000, "-363,"),  # past the server's line limit
]


def check(what, got, expected):
    if got != expected:
        sys.exit(f"FAILED {what}: got {got!r}, expected {expected!r}")


def start(cli):
    server = subprocess.Popen(cli + ["serve", "--simulate", "--no-vxi11", "--no-http", "--listen",
                                     "127.0.0.1:0"],
                              stdout=subprocess.PIPE, text=True)
    line = server.stdout.readline()
    match = re.fullmatch(r"listening on 127\.0\.0\.1:(\d+)\n", line)
    if not match:
        server.kill()
        sys.exit(f"FAILED: the server said {line!r}")
    return server, int(match.group(1))


def open_generator(port):
    return pyvisa.ResourceManager("@py").open_resource(
        f"TCPIP0::127.0.0.1::{port}::SOCKET", read_termination="\n",
        write_termination="\n", timeout=5000)


def setting_checks(gen):
    """Every setting of SETTINGS read back, every bad command of BAD
    answered with its error and leaving the settings as they were."""
    for command, query, answer in SETTINGS:
        gen.write(command)
        check(command, (gen.query(query), gen.query("SYST:ERR?")), (answer, NO_ERROR))
    for command, error in BAD:
        before = gen.query(";:".join(STATE))
        gen.write(command)
        check(command[:40], gen.query("SYST:ERR?")[:len(error)], error)
        if command.startswith("FREQ 2e6;"):
            before = before.replace(before.split(";")[0], "2000000", 1)
        check(command[:40] + " sends nothing", gen.query(";:".join(STATE)), before)
    check("queue empty", gen.query("SYST:ERR:COUN?"), "0")


def pyvisa_checks(port):
    gen = open_generator(port)
    idn = gen.query("*IDN?").split(",")
    check("*IDN?", (len(idn), "(simulated)" in idn[0], idn[2]), (4, True, "TPG35-20652"))
    setting_checks(gen)

    # Two clients at once: one generator, an error queue each.
    other = open_generator(port)
    gen.write("FREQ 1")
    check("other's queue", other.query("SYST:ERR:COUN?"), "0")
    check("own queue", gen.query("SYST:ERR:COUN?"), "1")
    other.write("FREQ 7e6")
    check("other's *OPC?", other.query("*OPC?"), "1")  # its setting is done
    check("shared generator", gen.query("FREQ?"), "7000000")
    check("other's queue still", (other.query("SYST:ERR?"), gen.query("SYST:ERR?")[:5]),
          (NO_ERROR, "-222,"))
    gen.write("FROB")
    gen.write("VOLT 9")
    check("SYST:ERR:ALL?", gen.query("SYST:ERR:ALL?;:SYST:ERR:ALL?"),
          '-113,"Undefined header;FROB",-222,"Data out of range;Amplitude is between 49mV and '
          f'1624mV";{NO_ERROR}')

    # Eight clients at most: a ninth is closed at once.
    extra = [socket.create_connection(("127.0.0.1", port)) for _ in range(6)]
    ninth = socket.create_connection(("127.0.0.1", port))
    ninth.settimeout(10)
    check("ninth client", ninth.recv(1), b"")
    for s in extra + [ninth]:
        s.close()
    check("still served", gen.query("*OPC?"), "1")
    gen.close()
    other.close()


def pymeasure_checks(port):
    sys.path.insert(0, str(ROOT / "examples" / "pymeasure"))
    from trelvix_pulse import TrelvixPulse, TrelvixPulseError
    gen = TrelvixPulse(f"TCPIP0::127.0.0.1::{port}::SOCKET")
    check("id", "(simulated)" in gen.id, True)
    for name, value, back in [("frequency", 12.5e6, 12.5e6), ("amplitude", 1.097, 1.096),
                              ("amplitude_index", 200, 200), ("polarity", "inverted", "inverted"),
                              ("trigger", "sync", "sync"), ("sync_frequency", 2.5e6, 2.5e6)]:
        setattr(gen, name, value)
        check(name, getattr(gen, name), back)
    for name, value in [("frequency", 1), ("polarity", "sideways")]:
        try:
            setattr(gen, name, value)
            sys.exit(f"FAILED: {name} = {value!r} was taken")
        except ValueError:
            pass
    gen.reset()
    check("reset", (gen.frequency, gen.amplitude, gen.polarity, gen.trigger),
          (10e6, 1.096, "normal", "output"))
    gen.write("FREQ 1")
    try:
        gen.check_errors()
        sys.exit("FAILED: the generator's error was not raised")
    except TrelvixPulseError as error:
        check("error", error.args[0][0][0], -222)


def readme_example(port):
    text = (ROOT / "README.md").read_text()
    section = text[text.index("## The generator from PyVISA, pymeasure, LabVIEW and MATLAB"):]
    shell, example = re.search(r"```sh\n([^`]*?)```[^`]*```python\n(.*?)```", section,
                               re.S).groups()
    check("example's length", len(example.strip().splitlines()), 5)
    # The command just before the example starts the server the example opens.
    command = shell.split("#")[0].split()
    listen = command[command.index("--listen") + 1] if "--listen" in command else "127.0.0.1:5025"
    check("example's server", ("serve" in command, "--simulate" in command), (True, True))
    resource = re.search(r'"(TCPIP0::[^"]*)"', example).group(1)
    check("example's resource", resource, "TCPIP0::{}::{}::SOCKET".format(*listen.split(":")))
    ran = subprocess.run([sys.executable, "-c", example.replace("::5025::", f"::{port}::")],
                         capture_output=True, text=True, timeout=60)
    print(ran.stdout, ran.stderr, end="")
    lines = ran.stdout.splitlines()
    check("example's identity", "(simulated)" in lines[0], True)
    check("example's settings", lines[1], f"12500000;0.800 {NO_ERROR}")


def http_checks(port):
    """A web page's request to the SCPI port (a browser's no-cors POST, and
    curl's) is closed before anything of it runs."""
    gen = open_generator(port)
    queries = ("FREQ?", "VOLT?", "EXT:POL?", "EXT:DIR?")
    before = [gen.query(q) for q in queries]
    host = f"Host: 127.0.0.1:{port}\r\n"
    browser_body = "\nFREQ 333e6;:VOLT MAX;:EXT:POL INV\n"
    requests = [
        "POST / HTTP/1.1\r\n" + host + "Origin: https://example.org\r\n"
        "Content-Type: text/plain\r\n"
        f"Content-Length: {len(browser_body)}\r\n\r\n" + browser_body,
        "POST / HTTP/1.1\r\n" + host + "User-Agent: curl/7.88.1\r\nAccept: */*\r\n"
        "Content-Length: 6\r\nContent-Type: application/x-www-form-urlencoded\r\n\r\n"
        "\n*RST\n",
    ]
    for request in requests:
        with socket.create_connection(("127.0.0.1", port), timeout=5) as web:
            web.sendall(request.encode())
            try:
                answer = web.recv(100)
            except ConnectionResetError:
                answer = b""
            check("the answer to an HTTP request", answer, b"")
    check("the settings after HTTP requests", [gen.query(q) for q in queries], before)
    check("the error queue after HTTP requests", gen.query("SYST:ERR?"), '0,"No error"')
    gen.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pymeasure", action="store_true")
    parser.add_argument("--readme", action="store_true")
    parser.add_argument("--stop", choices=["signal", "kill"], default="signal")
    parser.add_argument("cli", nargs="+")
    args = parser.parse_args()
    server, port = start(args.cli)
    try:
        if args.pymeasure:
            pymeasure_checks(port)
        elif args.readme:
            readme_example(port)
        else:
            http_checks(port)
            pyvisa_checks(port)
    finally:
        if server.poll() is None and args.stop == "signal":
            # The plain checks end serve as a service manager does (Wine
            # hands a Windows program SIGINT as Ctrl+C, SIGTERM not).
            plain = not (args.pymeasure or args.readme or "wine" in args.cli[0])
            stop = signal.SIGTERM if plain else signal.SIGINT
            server.send_signal(stop)
            check(f"exit status after {stop.name}", server.wait(timeout=30), 0)
        server.kill()
        server.wait()
    print("serve checks passed")


if __name__ == "__main__":
    main()
