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
    ("FREQ 2e6;VOLT 9", "-222,"),  # the first command ran: the check below knows
    ("X" * 70000, "-363,"),  # past the server's line limit
]


def check(what, got, expected):
    if got != expected:
        sys.exit(f"FAILED {what}: got {got!r}, expected {expected!r}")


def start(cli):
    server = subprocess.Popen(cli + ["serve", "--simulate", "--no-vxi11", "--listen", "127.0.0.1:0"],
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
    check("*IDN?", (len(idn), "(simulated)" in idn[0], idn[2]), (4, True, "TPG35-20417"))
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
    example = re.search(r"```python\n(.*?)```", section, re.S).group(1)
    check("example's length", len(example.strip().splitlines()), 5)
    ran = subprocess.run([sys.executable, "-c", example.replace("::5025::", f"::{port}::")],
                         capture_output=True, text=True, timeout=60)
    print(ran.stdout, ran.stderr, end="")
    lines = ran.stdout.splitlines()
    check("example's identity", "(simulated)" in lines[0], True)
    check("example's settings", lines[1], f"12500000;0.800 {NO_ERROR}")


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
            pyvisa_checks(port)
    finally:
        if server.poll() is None and args.stop == "signal":
            server.send_signal(signal.SIGINT)
            check("exit status after SIGINT", server.wait(timeout=30), 0)
        server.kill()
        server.wait()
    print("serve checks passed")


if __name__ == "__main__":
    main()
