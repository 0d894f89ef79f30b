#!/usr/bin/python3
"""Replays the EPICS kit (packaging/epics) against `trelvix-pulse-cli serve
--simulate`, as StreamDevice would: every exchange of every protocol in
trelvix-pulse.proto, its `out` formats filled in and its answers matched
against its `in` formats. A set protocol is replayed with the limits of the
records that use it (DRVL and DRVH, each state of an mbbo) and must leave
no error queued. Every command that `serve --help` lists must have a
protocol. So the kit fails the build when the server's answers change.

    epics_replay.py CLI
"""
import pathlib
import re
import socket
import subprocess
import sys

KIT = pathlib.Path(__file__).resolve().parents[2] / "packaging" / "epics"
NO_ERROR = '0,"No error"'
STRING = r'"((?:[^"\\]|\\.)*)"'
# A StreamDevice conversion: %[flags][width][.precision](conversion|{choices}).
CONVERSION = re.compile(r"%([-+ 0#*]*)(\d*)(?:\.(\d+))?(\{[^}]*\}|[a-zA-Z])")


def fail(message):
    sys.exit(f"FAILED {message}")


def protocols(text):
    """{name: [(statement, argument), ...]} with the protocol's own settings
    (e.g. ExtraInput) as ("set", (name, value))."""
    text = re.sub(r"^\s*#[^\n]*", "", text, flags=re.M)
    out = {}
    for name, body in re.findall(r'(\w+)\s*\{((?:"(?:[^"\\]|\\.)*"|[^}"])*)\}', text):
        steps = []
        for statement in (s.strip() for s in re.split(r";(?=(?:[^\"]*\"[^\"]*\")*[^\"]*$)", body)):
            if not statement:
                continue
            command = re.fullmatch(r"(out|in)\s+" + STRING, statement)
            setting = re.fullmatch(r"(\w+)\s*=\s*(\w+)", statement)
            if command:
                steps.append((command.group(1), command.group(2).replace('\\"', '"')))
            elif setting:
                steps.append(("set", (setting.group(1), setting.group(2))))
            else:
                fail(f"protocol {name}: cannot read {statement!r}")
        out[name] = steps
    return out


def records(text):
    """[(type, protocol, {field: value})] of the records that use a protocol."""
    out = []
    for kind, body in re.findall(r"record\((\w+),\s*\"[^\"]*\"\)\s*\{([^}]*)\}", text):
        fields = dict(re.findall(r"field\((\w+),\s*\"([^\"]*)\"\)", body))
        link = fields.get("OUT", fields.get("INP", ""))
        match = re.match(r"@trelvix-pulse\.proto (\w+) ", link)
        if match:
            out.append((kind, match.group(1), fields))
    return out


def fill(template, value):
    """An `out` format with its one conversion given value."""
    def conversion(match):
        flags, width, precision, kind = match.groups()
        if kind.startswith("{"):
            return kind[1:-1].split("|")[int(value)]
        spec = "%" + flags + width + (f".{precision}" if precision else "")
        return (spec + kind) % (int(value) if kind == "d" else float(value))
    return CONVERSION.sub(conversion, template)


def pattern(template):
    """An `in` format as a regular expression."""
    parts, last = [], 0
    for match in CONVERSION.finditer(template):
        parts.append(re.escape(template[last:match.start()]))
        flags, width, _, kind = match.groups()
        if kind.startswith("{"):
            parts.append("(?:" + "|".join(map(re.escape, kind[1:-1].split("|"))) + ")")
        elif kind == "d":
            parts.append(r"[-+]?\d+")
        elif kind in "feg":
            parts.append(r"[-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?")
        elif kind == "c":
            parts.append(".{1,%s}" % (width or "1"))
        else:
            fail(f"format {template!r}: no pattern for %{kind}")
        last = match.end()
    parts.append(re.escape(template[last:]))
    return "".join(parts)


class Line:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)
        self.buffer = b""

    def send(self, text):
        self.sock.sendall(text.encode() + b"\n")

    def receive(self):
        while b"\n" not in self.buffer:
            chunk = self.sock.recv(4096)
            if not chunk:
                fail("the server closed the connection")
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.decode()

    def query(self, text):
        self.send(text)
        return self.receive()


def replay(line, name, steps, value):
    extra_ignored = False
    for kind, argument in steps:
        if kind == "set":
            extra_ignored |= argument == ("ExtraInput", "Ignore")
        elif kind == "out":
            line.send(fill(argument, value))
        else:
            answer = line.receive()
            match = (re.match if extra_ignored else re.fullmatch)(pattern(argument), answer)
            if not match:
                fail(f"{name}: the answer {answer!r} does not match in \"{argument}\"")
    error = line.query("SYST:ERR?")
    if error != NO_ERROR:
        fail(f"{name}({value}): the server queued {error}")


def short_form(command):
    """`[SOURce:]FREQuency` gives FREQ, `*IDN?` itself."""
    while "[" in command:  # optional parts, nested ones too: [SOURce[1]:]
        command = re.sub(r"\[[^\[\]]*\]", "", command)
    return ":".join(re.sub(r"[a-z]", "", part) for part in command.split(":"))


def main():
    cli = sys.argv[1:]
    kit = protocols((KIT / "trelvix-pulse.proto").read_text())
    uses = records((KIT / "trelvix-pulse.db").read_text())
    for _, name, _ in uses:
        if name not in kit:
            fail(f"trelvix-pulse.db uses the protocol {name}, which is not defined")

    usage = subprocess.run(cli + ["serve", "--help"], capture_output=True, text=True, timeout=10)
    listed = re.search(r"Commands: (.*)", usage.stdout, re.S).group(1)
    listed = re.sub(r"\([^)]*\)", "", listed)  # notes such as "(each setting also with ?)"
    outs = [fill(a, 0).split(" ")[0] for steps in kit.values() for k, a in steps if k == "out"]
    for command in (c.strip() for c in listed.replace("\n", " ").split(",")):
        if short_form(command) not in outs:
            fail(f"serve's command {command} has no protocol")

    server = subprocess.Popen(cli + ["serve", "--simulate", "--no-vxi11", "--no-http", "--listen",
                                     "127.0.0.1:0"],
                              stdout=subprocess.PIPE, text=True)
    try:
        listening = re.fullmatch(r"listening on 127\.0\.0\.1:(\d+)\n", server.stdout.readline())
        if not listening:
            fail("the server did not listen")
        line = Line(int(listening.group(1)))
        exchanges = 0
        for name, steps in kit.items():
            values = [0]
            for kind, _, fields in uses:
                if _ == name and kind == "ao":
                    values = [fields["DRVL"], fields["DRVH"]]
                elif _ == name and kind == "mbbo":
                    values = [i for i, state in enumerate(("ZRST", "ONST")) if state in fields]
            for value in values:
                replay(line, name, steps, value)
                exchanges += 1
        print(f"{exchanges} exchanges of {len(kit)} protocols replayed")
    finally:
        server.terminate()
        server.wait(timeout=10)


if __name__ == "__main__":
    main()
