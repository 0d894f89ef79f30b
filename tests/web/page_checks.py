#!/usr/bin/python3
"""serve's web page in headless Chromium, driven with Selenium as a user
would drive it, against `serve --simulate --http 127.0.0.1:0`; the settings
are read back through the SCPI socket.

    page_checks.py CLI PAGE_BENCH OUTDIR
    page_checks.py --no-browser -- CLI [ARGS...]
    unshare -n page_checks.py --password -- CLI [ARGS...]

The third form, in a network namespace of its own, serves the page on an
address that is not loopback (10.9.0.1 on the namespace's lo): read-only
without --http-password-file, changes only with the password with one. The
second form checks the page over plain HTTP, without a browser: for the
.exe under Wine (CLI is then e.g. wine trelvix-pulse-cli.exe). PAGE_BENCH is
serve over a bench whose generators this script unplugs and
plugs in again (tests/web/page_bench_main.cpp). Screenshots of the page at
1280 and 400 pixels wide are written to OUTDIR.
"""
import http.client
import pathlib
import re
import signal
import socket
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select

LXI = "{http://www.lxistandard.org/InstrumentIdentification/1.0}"
# The identification document's elements in the order of the LXI schema's
# sequence; LXIVersion and the Interface's InterfaceType are the schema's
# required parts, the rest what the page promises.
LXI_ORDER = ["Manufacturer", "Model", "SerialNumber", "FirmwareRevision",
             "ManufacturerDescription", "HomepageURL", "DriverURL", "IdentificationURL",
             "Interface", "LXIVersion"]
WAIT = 5.0  # the longest any change may take to show; the time it took is printed


def fail(what):
    sys.exit(f"FAILED {what}")


def start(command):
    server = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    lines = [server.stdout.readline(), server.stdout.readline()]
    scpi = re.fullmatch(r"listening on 127\.0\.0\.1:(\d+)\n", lines[0])
    page = re.fullmatch(r"page at (http://127\.0\.0\.1:(\d+)/)\n", lines[1])
    if not scpi or not page:
        server.kill()
        fail(f"the server said {lines!r}")
    return server, int(scpi.group(1)), page.group(1), int(page.group(2))


def stop(server, seconds=10):
    """SIGTERM ends serve with status 0 (and, in the sanitizer build, no leak);
    under Wine SIGINT, which Wine hands the program as Ctrl+C."""
    if any("wine" in str(a) for a in server.args):
        server.send_signal(signal.SIGINT)
    else:
        server.terminate()
    if server.wait(seconds) != 0:
        fail(f"serve ended with status {server.returncode}")


class Scpi:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)
        self.file = self.sock.makefile("r")

    def ask(self, command):
        self.sock.sendall((command + "\n").encode())
        return self.file.readline().strip()

    def send(self, command):
        self.sock.sendall((command + "\n").encode())


def request(port, method, path, body=None, headers=None):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
    connection.request(method, path, body=body, headers=headers or {})
    answer = connection.getresponse()
    data = answer.read().decode()
    connection.close()
    return answer, data


def until(what, condition):
    """Waits for condition, at most WAIT seconds; returns the time taken."""
    begun = time.monotonic()
    while time.monotonic() - begun < WAIT:
        if condition():
            return time.monotonic() - begun
        time.sleep(0.02)
    fail(what)


def browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", f"--user-data-dir={profile}"]:
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_page_load_timeout(15)
    return driver


def labelled(driver, caption):
    label = driver.find_element(By.XPATH, f"//label[normalize-space()='{caption}']")
    return driver.find_element(By.ID, label.get_attribute("for"))


def type_into(box, text):
    """Types over the box's text, as a user selecting it all and typing."""
    box.send_keys(Keys.CONTROL, "a")
    box.send_keys(text, Keys.ENTER)


def message(driver, control):
    return driver.find_element(By.ID, control + "-message").text


def check_page(driver, cli, outdir):
    # The demo's generator whose trigger/sync connector is an output, as the
    # tab order below expects.
    server, scpi_port, url, http_port = start(
        cli + ["serve", "--simulate", "--serial", "TPG35-20417", "--no-vxi11", "--listen",
               "127.0.0.1:0", "--http", "127.0.0.1:0"])
    try:
        scpi = Scpi(scpi_port)
        idn = scpi.ask("*IDN?").split(",")
        driver.set_window_size(1280, 1200)
        driver.get(url)
        until("the page shows the generator",
              lambda: driver.find_element(By.ID, "lblSerialNumber").text == idn[2])
        errors = [entry for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]
        if errors:
            fail(f"console errors: {errors}")
        for caption in ["Pulse frequency, Hz", "Amplitude into 50R load, mV",
                        "Trigger/sync function", "Set input frequency, Hz", "Polarity"]:
            labelled(driver, caption)
        driver.find_element(By.XPATH, "//button[normalize-space()='Restore default settings']")

        # The keyboard's path through the controls is the window's tab order.
        order = []
        for _ in range(5):
            webdriver.ActionChains(driver).send_keys(Keys.TAB).perform()
            order.append(driver.switch_to.active_element.get_attribute("id"))
        if order != ["Vout", "Factory", "ext_trig_dir", "Foutput", "polarity"]:
            fail(f"tab order {order}")  # the sync box is disabled while triggering

        box = labelled(driver, "Pulse frequency, Hz")
        type_into(box, "12.5e6")
        took = until("the frequency reaches the generator", lambda: scpi.ask("FREQ?") == "12500000")
        print(f"page -> generator: {took * 1000:.0f} ms")
        until("the box is written back", lambda: box.get_attribute("value") == "12500000")

        for typed, expected in [("12,5", "Bad input: Enter pulse frequency in Hz"),
                                ("1", "Bad data range: Pulse frequency is between 25kHz and 350MHz")]:
            type_into(box, typed)
            until(f"the window's message for {typed!r}", lambda: message(driver, "Foutput") == expected)
            if scpi.ask("FREQ?") != "12500000":
                fail(f"{typed!r} reached the generator")
        if box.get_attribute("value") != "25000":
            fail("a value under the range is not replaced by the bound")

        Select(labelled(driver, "Amplitude into 50R load, mV")).select_by_visible_text("1096")
        until("the amplitude reaches the generator", lambda: scpi.ask("VOLT:IND?") == "339")
        Select(labelled(driver, "Trigger/sync function")).select_by_visible_text("Sync input")
        until("the function reaches the generator", lambda: scpi.ask("EXT:DIR?") == "INP")
        sync = labelled(driver, "Set input frequency, Hz")
        until("the sync box is enabled", sync.is_enabled)
        type_into(sync, "2000000.5")
        until("the sync frequency reaches the generator", lambda: scpi.ask("EXT:FREQ?") == "2000000")

        # A change through the SCPI socket shows on the page.
        driver.execute_script("document.activeElement.blur()")
        scpi.send("FREQ 3e6;:EXT:POL INV")
        took = until("an SCPI change shows on the page",
                     lambda: box.get_attribute("value") == "3000000")
        print(f"SCPI -> page: {took * 1000:.0f} ms")
        until("the polarity shows", lambda: Select(labelled(driver, "Polarity"))
              .first_selected_option.text == "Inverted")

        driver.find_element(By.ID, "Factory").click()
        until("the defaults reach the generator",
              lambda: scpi.ask("FREQ?;:VOLT:IND?;:EXT:DIR?;:EXT:POL?") == "10000000;339;OUTP;NORM")

        driver.get(url)
        box = labelled(driver, "Pulse frequency, Hz")
        until("the page shows the defaults", lambda: box.get_attribute("value") == "10000000")
        for width, height, name in [(1280, 900, "page-1280.png"), (400, 1150, "page-400.png")]:
            driver.set_window_size(width, height)
            time.sleep(0.3)
            driver.save_screenshot(str(outdir / name))

        # Another site's page cannot change anything.
        scpi.send("FREQ 4e6")
        good = {"Content-Type": "application/json"}
        body_json = '{"control": "Foutput", "text": "5e6"}'
        for headers, status in [
            ({**good, "Origin": "http://evil.example"}, 403),
            ({**good, "Origin": "null"}, 403),
            ({**good, "Host": f"evil.example:{http_port}"}, 403),
            ({**good, "Host": f"127.0.0.1:{http_port + 1}"}, 403),
            ({**good, "Sec-Fetch-Site": "cross-site"}, 403),
            ({"Content-Type": "text/plain"}, 415),
        ]:
            answer, _ = request(http_port, "POST", "/settings", body_json, headers)
            if answer.status != status or answer.getheader("Access-Control-Allow-Origin"):
                fail(f"{headers}: {answer.status}")
        answer, _ = request(http_port, "GET", "/settings")
        if answer.status != 405:
            fail(f"GET /settings: {answer.status}")
        if scpi.ask("FREQ?") != "4000000":
            fail("a refused request changed the generator")
        answer, _ = request(http_port, "GET", "/", headers={"Host": f"rebound.example:{http_port}"})
        if answer.status != 403:
            fail(f"a foreign Host read the page: {answer.status}")
        answer, _ = request(http_port, "GET", "/")
        for header in ["Content-Security-Policy", "X-Content-Type-Options"]:
            if not answer.getheader(header):
                fail(f"no {header}")

        # The identification document.
        answer, data = request(http_port, "GET", "/lxi/identification")
        root = ET.fromstring(data)
        if answer.status != 200 or root.tag != LXI + "LXIDevice":
            fail(f"identification: {answer.status} {root.tag}")
        tags = [child.tag.removeprefix(LXI) for child in root]
        if tags != LXI_ORDER:
            fail(f"identification elements {tags}")
        fields = [root.find(LXI + tag).text for tag in LXI_ORDER[:4]]
        if fields != idn:
            fail(f"identification {fields} is not *IDN? {idn}")
        interface = root.find(LXI + "Interface")
        addresses = [e.text for e in interface.findall(LXI + "InstrumentAddressString")]
        if interface.get("InterfaceType") != "LXI" or \
                f"TCPIP::127.0.0.1::{scpi_port}::SOCKET" not in addresses:
            fail(f"interface {interface.attrib} {addresses}")
        if not root.find(LXI + "LXIVersion").text:
            fail("no LXIVersion")
    finally:
        stop(server)


def check_unplug(driver, bench):
    server, scpi_port, url, _ = start([bench, "serve", "--no-vxi11", "--listen",
                                       "127.0.0.1:0", "--http", "127.0.0.1:0"])
    try:
        driver.set_window_size(1280, 1200)
        driver.get(url)
        box = driver.find_element(By.ID, "Foutput")
        until("the page fills", lambda: box.get_attribute("value") != "")
        server.stdin.write("unplug\n")
        server.stdin.flush()
        took = until("the page empties", lambda: box.get_attribute("value") == ""
                     and driver.find_element(By.ID, "lblSerialNumber").text == ""
                     and not box.is_enabled())
        print(f"unplug -> page empty: {took * 1000:.0f} ms")
        status = driver.find_element(By.ID, "status").text
        if status != "No generator is present":
            fail(f"status {status!r}")
        answer, _ = request(int(url.rsplit(":", 1)[1].strip("/")), "GET", "/lxi/identification")
        if answer.status != 503:
            fail(f"identification without a generator: {answer.status}")
        server.stdin.write("plug\n")
        server.stdin.flush()
        until("the page fills again", lambda: box.get_attribute("value") != "" and box.is_enabled())
    finally:
        stop(server)


def check_http(cli):
    """The page, a change, a bad value and refused requests over plain HTTP."""
    server, scpi_port, _, http_port = start(
        cli + ["serve", "--simulate", "--no-vxi11", "--listen", "127.0.0.1:0", "--http",
               "127.0.0.1:0"])
    try:
        scpi = Scpi(scpi_port)
        idn = scpi.ask("*IDN?").split(",")
        answer, page = request(http_port, "GET", "/")
        for caption in ["Pulse frequency, Hz", "Amplitude into 50R load, mV",
                        "Trigger/sync function", "Set input frequency, Hz", "Polarity",
                        "Restore default settings", idn[2]]:
            if answer.status != 200 or caption not in page:
                fail(f"the page lacks {caption!r}")
        if request(http_port, "GET", "/page.js")[0].status != 200:
            fail("no script")
        json = {"Content-Type": "application/json"}
        for body, headers, status in [
            ('{"control":"Foutput","text":"12.5e6"}', json, 200),
            ('{"control":"Foutput","text":"12,5"}', json, 422),
            ('{"control":"Foutput","text":"5e6"}', {**json, "Origin": "http://evil.example"}, 403),
            ('{"control":"Foutput","text":"5e6"}', {**json, "Host": f"evil.example:{http_port}"}, 403),
        ]:
            answer, _ = request(http_port, "POST", "/settings", body, headers)
            if answer.status != status:
                fail(f"{body} {headers}: {answer.status}")
        if scpi.ask("FREQ?") != "12500000":
            fail("the page's change is not the generator's")
        answer, data = request(http_port, "GET", "/lxi/identification")
        root = ET.fromstring(data)
        if [root.find(LXI + tag).text for tag in LXI_ORDER[:4]] != idn:
            fail("the identification is not *IDN?")
    finally:
        stop(server, 20)


def check_password(cli):
    """On an address other than loopback: read-only, or the password."""
    import base64
    import json as jsonlib
    # Only in a namespace of this test's own (unshare -n): nothing but lo.
    links = subprocess.run(["ip", "-o", "link"], capture_output=True, text=True, check=True)
    if [line.split(":")[1].strip() for line in links.stdout.splitlines()] != ["lo"]:
        fail("--password runs only in a network namespace of its own (unshare -n)")
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    subprocess.run(["ip", "addr", "add", "10.9.0.1/32", "dev", "lo"], check=True)
    with tempfile.NamedTemporaryFile("w", suffix=".txt") as file:
        file.write("s3cret phrase\n")
        file.flush()
        for password in [None, file.name]:
            command = cli + ["serve", "--simulate", "--no-vxi11", "--listen", "127.0.0.1:0",
                             "--http", "10.9.0.1:0"]
            if password:
                command += ["--http-password-file", password]
            server = subprocess.Popen(command, stdout=subprocess.PIPE, text=True)
            try:
                lines = [server.stdout.readline(), server.stdout.readline()]
                page = re.fullmatch(r"page at http://10\.9\.0\.1:(\d+)/\n", lines[1])
                if not page:
                    fail(f"the server said {lines!r}")
                scpi_port = int(lines[0].rsplit(":", 1)[1])
                port = int(page.group(1))
                scpi = Scpi(scpi_port)

                def post(authorization=None):
                    connection = http.client.HTTPConnection("10.9.0.1", port, timeout=5)
                    headers = {"Content-Type": "application/json"}
                    if authorization:
                        headers["Authorization"] = "Basic " + base64.b64encode(
                            authorization.encode()).decode()
                    connection.request("POST", "/settings",
                                       '{"control":"Foutput","text":"7e6"}', headers)
                    answer = connection.getresponse()
                    answer.read()
                    return answer

                connection = http.client.HTTPConnection("10.9.0.1", port, timeout=5)
                connection.request("GET", "/state")
                state = jsonlib.loads(connection.getresponse().read())
                if password is None:
                    if post().status != 403 or post("u:s3cret phrase").status != 403 \
                            or "read-only" not in state["readOnly"]:
                        fail("without a password the page is not read-only")
                else:
                    answer = post()
                    if answer.status != 401 or "Basic" not in answer.getheader("WWW-Authenticate"):
                        fail(f"no password: {answer.status}")
                    if post("u:wrong").status != 401 or not state["signIn"] or state["readOnly"]:
                        fail("a wrong password is taken")
                    if scpi.ask("FREQ?") == "7000000":
                        fail("a refused change reached the generator")
                    if post("anyone:s3cret phrase").status != 200 or scpi.ask("FREQ?") != "7000000":
                        fail("the password does not let the change through")
            finally:
                stop(server)


def main():
    if sys.argv[1] == "--password":
        check_password(sys.argv[3:])
        print("page checks on a non-loopback address passed")
        return
    if sys.argv[1] == "--no-browser":
        check_http(sys.argv[3:])
        print("page checks over HTTP passed")
        return
    cli, bench, outdir = [sys.argv[1]], sys.argv[2], pathlib.Path(sys.argv[3])
    with tempfile.TemporaryDirectory() as profile:
        driver = browser(profile)
        try:
            check_page(driver, cli, outdir)
            check_unplug(driver, bench)
        finally:
            driver.quit()
    print("page checks passed")


main()
