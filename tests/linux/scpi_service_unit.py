#!/usr/bin/python3
"""Runs the packaged unit trelvix-pulse-scpi@.service as systemd would start
it, without systemd: the [Service] section's Environment= lines (and a
drop-in's, as `systemctl edit` adds them) and ExecStart= are expanded for an
instance by systemd's rules, and the command runs with --simulate added.

    scpi_service_unit.py UNIT CLI

Checks that each instance serves the generator its name stands for (a serial
number holds a '-', which %I would turn into '/'), and that a second instance
on a port already taken ends with a message naming that port and an exit
status the unit does not restart on.
"""
import re
import shlex
import shutil
import socket
import subprocess
import sys


def unescape(instance):
    """%I: systemd's unescaping of a unit name: '-' is '/', \\xNN a byte."""
    return re.sub(r"\\x([0-9a-fA-F]{2})|-",
                  lambda m: chr(int(m.group(1), 16)) if m.group(1) else "/", instance)


def service_lines(text):
    """KEY=VALUE lines of the [Service] section, continuation lines joined."""
    section, lines = None, []
    for line in re.sub(r"\\\n", " ", text).splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            section = line
        elif section == "[Service]" and line and line[0] not in "#;":
            key, _, value = line.partition("=")
            lines.append((key.strip(), value.strip()))
    return lines


def expand_specifiers(word, template, instance):
    values = {"i": instance, "I": unescape(instance), "p": template, "P": unescape(template),
              "n": f"{template}@{instance}.service", "N": f"{template}@{instance}", "%": "%"}
    return re.sub(r"%(.)", lambda m: values[m.group(1)], word)


def exec_start(unit_text, drop_in, template, instance):
    """The argument vector systemd executes for the instance."""
    environment, command = {}, None
    for key, value in service_lines(unit_text) + service_lines(drop_in):
        if key == "Environment":
            for assignment in shlex.split(expand_specifiers(value, template, instance)):
                name, _, setting = assignment.partition("=")
                environment[name] = setting
        elif key == "ExecStart":
            command = value.lstrip("-@:+!")
    argv = []
    for word in shlex.split(command):
        word = expand_specifiers(word, template, instance)
        whole = re.fullmatch(r"\$([A-Za-z_][A-Za-z0-9_]*)", word)
        if whole:  # $NAME alone is split at blanks
            argv += environment.get(whole.group(1), "").split()
        else:  # ${NAME} goes in as it is
            argv.append(re.sub(r"\$\{([A-Za-z_][A-Za-z0-9_]*)\}",
                               lambda m: environment.get(m.group(1), ""), word))
    return argv


def simulated(argv, cli):
    # The simulated bench, and neither VXI-11 nor the page: their fixed ports
    # (111, 8080) are not this test's to take on the machine.
    return [cli, "--simulate", "--no-vxi11", "--no-http"] + argv[1:]


def fail(what):
    sys.exit(f"FAILED {what}")


def main():
    unit_path, cli = sys.argv[1], sys.argv[2]
    unit = open(unit_path).read()
    template = "trelvix-pulse-scpi"
    listen_on = "[Service]\nEnvironment=TPG_LISTEN=127.0.0.1:{}\n"
    # Where systemd's own tools are installed, they unescape alike.
    if shutil.which("systemd-escape"):
        for name in ["TPG35-20417", "a\\x2db-c"]:
            theirs = subprocess.run(["systemd-escape", "--unescape", name], capture_output=True,
                                    text=True, check=True).stdout.strip()
            if unescape(name) != theirs:
                fail(f"unescaping {name!r}: {unescape(name)!r}, systemd-escape {theirs!r}")
    servers = []
    try:
        # Each instance serves the generator it is named for.
        for serial in ["TPG35-20417", "TPG35-20652"]:
            argv = exec_start(unit, listen_on.format(0), template, serial)
            if argv[0] != "/usr/bin/trelvix-pulse-cli":
                fail(f"ExecStart runs {argv[0]}")
            server = subprocess.Popen(simulated(argv, cli), stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE, text=True)
            servers.append(server)
            line = server.stdout.readline()
            match = re.fullmatch(r"listening on 127\.0\.0\.1:(\d+)\n", line)
            if not match:
                fail(f"{serial}: the server said {line!r}")
            port = int(match.group(1))
            with socket.create_connection(("127.0.0.1", port), timeout=5) as client:
                client.sendall(b"*IDN?\n")
                try:
                    answer = client.makefile().readline().strip()
                except socket.timeout:  # no generator: the query queues -241
                    answer = "nothing within 5 s"
            if answer.split(",")[2:3] != [serial]:
                fail(f"{serial}: {shlex.join(argv)} answered *IDN? with {answer!r}")
            print(f"{serial}: {shlex.join(argv)}: {answer}")

        # A second instance on the first one's port: told which port, and not
        # restarted for it.
        argv = exec_start(unit, listen_on.format(port), template, "TPG35-20887")
        try:
            taken = subprocess.run(simulated(argv, cli), capture_output=True, text=True,
                                   timeout=20)
        except subprocess.TimeoutExpired:
            fail(f"a second server on port {port} did not end")
        expected = f"cannot listen on 127.0.0.1:{port}: Address already in use"
        if expected not in taken.stderr:
            fail(f"port taken: said {taken.stderr!r}, not {expected!r}")
        prevented = [value.split() for key, value in service_lines(unit)
                     if key == "RestartPreventExitStatus"]
        if taken.returncode == 0 or str(taken.returncode) not in sum(prevented, []):
            fail(f"port taken: exit status {taken.returncode}, restarted on "
                 f"(RestartPreventExitStatus={prevented})")
        print(f"port taken: status {taken.returncode}, {taken.stderr.strip()}")
    finally:
        for server in servers:
            server.kill()
            server.wait()
    print("service unit checks passed")


if __name__ == "__main__":
    main()
