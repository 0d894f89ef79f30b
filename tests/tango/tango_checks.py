#!/usr/bin/python3
"""Drives `trelvix-pulse-tango --simulate` with PyTango, as a control system's
client would.

    tango_checks.py --nodb SERVER       the device without a database
    tango_checks.py --database SERVER   the whole path: a private MariaDB with
                                        tango-db's schema, DataBaseds, the
                                        server registered through PyTango

Every server listens on loopback only, lives in a private temporary folder
and is killed at the end; every wait is bounded.
"""
import argparse
import os
import pathlib
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

import tango

SCHEMA = pathlib.Path("/usr/share/dbconfig-common/data/tango-db/install/mysql")
DATABASEDS = "/usr/lib/tango/DataBaseds"
SERVER, INSTANCE, DEVICE = "trelvix-pulse-tango", "test", "test/trelvix/pulse1"
# The demo's first generator: the one only SerialNumber can choose (without
# it the last listed, as the window opens it).
SERIAL = "TPG35-20417"
SHOWN_SERIAL = "TPG35-20652"
POLLING_MS = 300

# An attribute written, and what it and another attribute read afterwards.
WRITES = [
    ("Frequency", 12.5e6, "Frequency", 12500000.0),
    ("Frequency", 1000000.5, "Frequency", 1000001.0),  # the window's rounding: halves up
    ("SyncFrequency", 2000000.5, "SyncFrequency", 2000000.0),  # halves to even
    ("SyncFrequency", 300e6, "SyncFrequency", 300000000.0),
    ("Amplitude", 1.097, "AmplitudeIndex", 339),  # the nearest step, 1096 mV
    ("Amplitude", 1.624, "Amplitude", 1.624),  # the last step, a hair above in mV
    ("Amplitude", 0.049, "AmplitudeIndex", 0),
    ("AmplitudeIndex", 200, "Amplitude", 0.667),
    ("TriggerDirection", 1, "TriggerDirection", 1),  # Input
    ("TriggerDirection", 0, "TriggerDirection", 0),
    ("Polarity", 1, "Polarity", 1),  # Inverted
    ("Polarity", 0, "Polarity", 0),
]

# A value out of range and the window's message that refuses it.
REFUSED = [
    ("Frequency", 24999.9, "Pulse frequency is between 25kHz and 350MHz"),
    ("Frequency", 350000000.5, "Pulse frequency is between 25kHz and 350MHz"),
    ("SyncFrequency", 999999.0, "External sync frequency is between 1MHz and 300MHz"),
    ("Amplitude", 1.625, "Amplitude is between 49mV and 1624mV"),
    ("Amplitude", 0.0, "Amplitude is between 49mV and 1624mV"),
    ("AmplitudeIndex", 511, "Amplitude index is between 0 and 510"),
    ("AmplitudeIndex", -1, "Amplitude index is between 0 and 510"),
]

# Each attribute's unit and bounds, as a client's panel shows them.
CONFIG = [
    ("Frequency", "Hz", "25000", "350000000"),
    ("SyncFrequency", "Hz", "1000000", "300000000"),
    ("Amplitude", "V", "0.049", "1.624"),
    ("AmplitudeIndex", "", "0", "510"),
]

SETTINGS = ["Frequency", "SyncFrequency", "Amplitude", "AmplitudeIndex", "TriggerDirection",
            "Polarity"]
DEFAULTS = [10000000.0, 10000000.0, 1.096, 339, 0, 0]


def check(what, got, expected):
    if got != expected:
        sys.exit(f"FAILED {what}: got {got!r}, expected {expected!r}")


def wait_until(condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            if condition():
                return True
        except (tango.DevFailed, OSError):
            pass
        time.sleep(0.02)
    return False


def wait_for(what, condition, seconds=10.0):
    if not wait_until(condition, seconds):
        sys.exit(f"FAILED: {what} within {seconds} s")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Processes:
    """The test's own processes, stopped in reverse order at the end."""

    def __init__(self, folder):
        self.folder = folder
        self.running = []

    def start(self, name, args, env=None):
        log = open(self.folder / f"{name}.log", "w")
        process = subprocess.Popen(args, stdout=log, stderr=subprocess.STDOUT,
                                   env={**os.environ, **(env or {})}, cwd=self.folder)
        self.running.append((name, process))
        return process

    def stop(self, process):
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait(timeout=10)

    def stop_all(self):
        for _, process in reversed(self.running):
            self.stop(process)

    def logs(self):
        for name, _ in self.running:
            text = (self.folder / f"{name}.log").read_text(errors="replace")
            print(f"--- {name}.log (end) ---\n{text[-3000:]}", file=sys.stderr)


def start_database(procs, folder):
    """MariaDB on a private socket and a loopback port (DataBaseds takes a
    host and port only), tango-db's schema loaded into it, and DataBaseds on
    a loopback port. Returns TANGO_HOST."""
    data, sock, sql_port = folder / "mysql", str(folder / "mysql.sock"), free_port()
    root = ["--user=root"] if os.geteuid() == 0 else []
    subprocess.run(["mariadb-install-db", "--no-defaults", f"--datadir={data}",
                    "--auth-root-authentication-method=normal", "--skip-test-db", *root],
                   check=True, capture_output=True, timeout=60)
    procs.start("mariadbd", ["mariadbd", "--no-defaults", f"--datadir={data}", f"--socket={sock}",
                             "--bind-address=127.0.0.1",
                             f"--port={sql_port}", f"--pid-file={folder / 'mysql.pid'}",
                             "--innodb-buffer-pool-size=16M", *root])
    client = ["mariadb", "--no-defaults", f"--socket={sock}", "-uroot"]
    wait_for("MariaDB answers", lambda: subprocess.run(
        client + ["-e", "SELECT 1"], capture_output=True, timeout=5).returncode == 0, 30)
    subprocess.run(client + ["-e", "CREATE DATABASE tango"], check=True, timeout=30)
    with open(SCHEMA) as schema:
        subprocess.run(client + ["tango"], stdin=schema, check=True, timeout=60)

    port = free_port()
    host = f"127.0.0.1:{port}"
    procs.start("DataBaseds", [DATABASEDS, "2", "-ORBendPoint", f"giop:tcp:127.0.0.1:{port}"],
                env={"TANGO_HOST": host, "MYSQL_HOST": f"127.0.0.1:{sql_port}",
                     "MYSQL_USER": "root", "MYSQL_PASSWORD": "", "MYSQL_DATABASE": "tango"})
    os.environ["TANGO_HOST"] = host
    wait_for("DataBaseds answers", lambda: tango.Database("127.0.0.1", port).get_info(), 30)
    database = tango.Database("127.0.0.1", port)
    info = tango.DbDevInfo()
    info.name, info._class, info.server = DEVICE, "TrelvixPulseGenerator", f"{SERVER}/{INSTANCE}"
    database.add_device(info)
    database.put_device_property(DEVICE, {"SerialNumber": [SERIAL],
                                          "PollingPeriod": [str(POLLING_MS)]})
    return host


def settings(device):
    return [device.read_attribute(name).value for name in SETTINGS]


def attribute_checks(device, proxy_factory):
    for name, written, read_name, expected in WRITES:
        device.write_attribute(name, written)
        check(f"{name} = {written}", device.read_attribute(read_name).value, expected)

    for name, unit, low, high in CONFIG:
        config = device.get_attribute_config(name)
        check(f"{name}'s config", (config.unit, config.min_value, config.max_value),
              (unit, low, high))
    check("Polarity's labels", list(device.get_attribute_config("Polarity").enum_labels),
          ["Normal", "Inverted"])

    sent = device.read_attribute("Frequency")  # nothing sent: the settings stay
    before = settings(device)
    for name, value, message in REFUSED:
        try:
            device.write_attribute(name, value)
            sys.exit(f"FAILED {name} = {value}: accepted")
        except tango.DevFailed as failure:
            check(f"{name} = {value} refused", (failure.args[0].reason, failure.args[0].desc),
                  ("API_WAttrOutsideLimit", message))
        check(f"{name} = {value} sends nothing", settings(device), before)
    check("Frequency's time unchanged", device.read_attribute("Frequency").value, sent.value)

    device.command_inout("RestoreDefaults")
    check("RestoreDefaults", settings(device), DEFAULTS)

    # Change events: writes through this proxy, then one through another.
    # An event pushed before the subscriber's socket is connected is lost
    # (as for every ZeroMQ subscriber), so the first write is repeated until
    # its event comes: that proves the events of this device's own writes.
    seen = []
    subscription = device.subscribe_event(
        "Frequency", tango.EventType.CHANGE_EVENT,
        lambda event: seen.append(None if event.err else event.attr_value.value))
    for attempt in range(50):
        device.write_attribute("Frequency", 3e6 + attempt)
        if wait_until(lambda: seen[-1] == 3e6 + attempt, 0.2):
            break
    else:
        sys.exit(f"FAILED: no event of our own writes: {seen}")
    other = proxy_factory()
    other.write_attribute("Frequency", 4e6)
    wait_for("the event of the other client's write", lambda: seen[-1] == 4000000.0, 5)
    device.unsubscribe_event(subscription)


def subscribe_state(device):
    """State's change events, subscribed at the start so that the
    subscriber is connected long before the unplug."""
    states = []
    device.subscribe_event(
        "State", tango.EventType.CHANGE_EVENT,
        lambda event: states.append(None if event.err else event.attr_value.value))
    return states


def state_checks(device, serial, states):
    wait_for("State ON", lambda: states and states[-1] == tango.DevState.ON, 5)
    check("Status", device.status(), f"Serving the generator {serial}")
    device.command_inout("SimulateUnplug")
    wait_for("State FAULT after the unplug",
             lambda: states[-1] == tango.DevState.FAULT, 6)
    check("Status names the serial awaited", serial in device.status(), True)
    try:
        device.write_attribute("Polarity", 1)
        sys.exit("FAILED: a write without a generator was accepted")
    except tango.DevFailed as failure:
        check("a write without a generator", (failure.args[0].reason,
                                               serial in failure.args[0].desc),
              ("TPG_NoGenerator", True))
    device.command_inout("SimulatePlug")
    wait_for("State ON after the generator returns",
             lambda: states[-1] == tango.DevState.ON, 6)
    check("settings kept, nothing sent while missing", device.read_attribute("Polarity").value, 0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--nodb", action="store_true")
    parser.add_argument("--database", action="store_true")
    parser.add_argument("server")
    args = parser.parse_args()

    folder = pathlib.Path(tempfile.mkdtemp(prefix="tpg-tango-"))
    procs = Processes(folder)
    ok = False
    try:
        port = free_port()
        endpoint = ["-ORBendPoint", f"giop:tcp:127.0.0.1:{port}"]
        if args.database:
            host = start_database(procs, folder)
            procs.start(SERVER, [args.server, "--simulate", INSTANCE, *endpoint],
                        env={"TANGO_HOST": host})
            name, serial = f"tango://{host}/{DEVICE}", SERIAL
        else:
            procs.start(SERVER, [args.server, "--simulate", INSTANCE, "-nodb", "-dlist", DEVICE,
                                 *endpoint])
            name, serial = f"tango://127.0.0.1:{port}/{DEVICE}#dbase=no", SHOWN_SERIAL
        wait_for("the device answers", lambda: tango.DeviceProxy(name).ping() > 0, 30)
        device = tango.DeviceProxy(name)
        states = subscribe_state(device)
        check("identity", [device.read_attribute(a).value for a in
                           ("Manufacturer", "Product", "Version", "Serial")],
              ["Trelvix Instruments (simulated)", "Trelvix Pulse Generator TPG-350", "1.03",
               serial])
        attribute_checks(device, lambda: tango.DeviceProxy(name))
        state_checks(device, serial, states)
        ok = True
        print("tango checks passed")
    finally:
        procs.stop_all()
        if not ok:
            procs.logs()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
