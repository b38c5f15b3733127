#!/usr/bin/env python3
"""The moderation page in a real browser: Debian's headless chromium driven
through chromedriver's WebDriver protocol, against velmor-server and
velmor-admin over a fresh content directory.

Usage: admin_browser_test.py --server BIN --admin BIN --work DIR [--screenshot PNG]
"""
import argparse
import base64
import json
import os
import shutil
import socket
import struct
import subprocess
import sys
import time
import urllib.request

PASSWORD = "correct horse battery"


def wait_for(condition, timeout=20.0, what="condition"):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


# --- the Velmor protocol, as much as the test needs ---

def record(code, num1=0, num2=0, text=b"", client_id=b"54321"):
    return (client_id.ljust(20, b"\0") + struct.pack("<iiiii", 7, 3, code, num1, num2)
            + text[:50].ljust(50, b"\0"))


def exchange(port, payload, then=None):
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall(payload)
        if then is not None:
            answer = s.recv(90, socket.MSG_WAITALL)
            if struct.unpack_from("<i", answer, 28)[0] != 0:
                return answer
            s.sendall(then)
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                return data
            data += chunk


def donate(port, position, item_type, name, data):
    answer = exchange(port, record(7, position, item_type, name.encode()),
                      then=record(0, 4096, len(data)) + data)
    assert answer == b"", "donation of %s answered %r" % (name, answer[:40])


def picture(port, number):
    reply = exchange(port, record(2, number))
    assert struct.unpack_from("<i", reply, 28)[0] == 0, "picture request refused"
    total = struct.unpack_from("<i", reply, 180 + 36)[0]
    return reply[270:270 + total]


# --- WebDriver ---

class Browser:
    def __init__(self, port):
        self.base = "http://127.0.0.1:%d" % port

    def call(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        req = urllib.request.Request(self.base + path, data=data, method=method,
                                     headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(req, timeout=60) as r:
            return json.loads(r.read().decode())["value"]

    def start(self, profile):
        args = ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--no-first-run", "--disable-quic", "--user-data-dir=" + profile, "--window-size=1280,900"]
        caps = {"capabilities": {"alwaysMatch": {
            "browserName": "chrome",
            "goog:chromeOptions": {"binary": "/usr/bin/chromium", "args": args}}}}
        self.session = self.call("POST", "/session", caps)["sessionId"]

    def s(self, method, path, body=None):
        return self.call(method, "/session/%s%s" % (self.session, path), body)

    def go(self, url):
        self.s("POST", "/url", {"url": url})

    def find(self, css):
        found = self.s("POST", "/elements", {"using": "css selector", "value": css})
        return [list(e.values())[0] for e in found]

    def one(self, css):
        found = wait_for(lambda: self.find(css), what=css)
        return found[0]

    def click(self, css):
        self.s("POST", "/element/%s/click" % self.one(css), {})

    def type(self, css, text):
        element = self.one(css)
        self.s("POST", "/element/%s/clear" % element, {})
        self.s("POST", "/element/%s/value" % element, {"text": text})

    def script(self, source, *args):
        return self.s("POST", "/execute/sync", {"script": source, "args": list(args)})

    def text(self):
        return self.script("return document.body.innerText;")

    def screenshot(self, path):
        with open(path, "wb") as f:
            f.write(base64.b64decode(self.s("GET", "/screenshot")))

    def quit(self):
        try:
            self.call("DELETE", "/session/" + self.session)
        except Exception:
            pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True)
    parser.add_argument("--admin", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--screenshot")
    args = parser.parse_args()

    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    content = os.path.join(work, "content")
    subprocess.run([args.server, "--make-sample", content], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([args.admin, "--set-password", os.path.join(work, "passwords")],
                   input=PASSWORD + "\n", text=True, check=True, stdout=subprocess.DEVNULL)

    children = []
    try:
        children.append(subprocess.Popen([args.server, "--port", "0", "--content", content, "--log",
                                          os.path.join(work, "server.log"), "--ready-file",
                                          os.path.join(work, "server.port")]))
        children.append(subprocess.Popen([args.admin, "--port", "0", "--content", content, "--passwords",
                                          os.path.join(work, "passwords"), "--ready-file",
                                          os.path.join(work, "admin.port")]))
        driver_port = free_port()
        children.append(subprocess.Popen(["chromedriver", "--port=%d" % driver_port],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))

        def port_of(name):
            path = os.path.join(work, name)
            return os.path.exists(path) and open(path).read().strip() and int(open(path).read())
        server_port = wait_for(lambda: port_of("server.port"), what="the server")
        admin = "http://127.0.0.1:%d" % wait_for(lambda: port_of("admin.port"), what="the admin page")

        browser = Browser(driver_port)
        wait_for(lambda: _ready(browser), what="chromedriver")
        browser.start(os.path.join(work, "profile"))
        try:
            run(browser, admin, server_port, content, work, args.screenshot)
        finally:
            browser.quit()
    finally:
        for child in reversed(children):
            child.terminate()
            try:
                child.wait(timeout=10)
            except subprocess.TimeoutExpired:
                child.kill()
    print("admin browser test: passed")


def _ready(browser):
    try:
        return browser.call("GET", "/status")["ready"]
    except Exception:
        return False


def run(browser, admin, server_port, content, work, screenshot):
    # Logging in.
    browser.go(admin + "/queue")
    browser.type("#password", PASSWORD)
    browser.click("#login")
    wait_for(lambda: "Donations" in browser.text(), what="the queue after logging in")

    # A new picture category, added on the page, is empty: whatever a client
    # then receives from it is the accepted donation.
    browser.go(admin + "/categories")
    browser.type('input[placeholder="new picture category"]', "Operator Gifts")
    browser.click('input[placeholder="new picture category"] ~ button')
    wait_for(lambda: 'added "Operator Gifts"' in browser.text(), what="the category added")
    position = open(os.path.join(content, "categories", "picture.txt")).read().splitlines().index("Operator Gifts")

    sample_dir = os.path.join(content, "pictures", "0")
    gift = open(os.path.join(sample_dir, sorted(os.listdir(sample_dir))[0]), "rb").read()
    donate(server_port, position, 2, "gift.jpg", gift)
    donate(server_port, position, 2, "unwanted.jpg", gift[: len(gift) // 2])
    donate(server_port, 0, 1, "hostile.txt", b"<script>document.title='pwned'</script> wise words")
    # Names as a client with the UTF-8 code page sends them: the page shows
    # them as the donor wrote them.
    utf8_names = ["\u00c9clair.txt", "\u0444\u043e\u0442\u043e.txt", "\u5199\u771f.txt"]
    for name in utf8_names:
        donate(server_port, 0, 1, name, b"quote")
        assert os.path.exists(os.path.join(content, "donations", "quote", "0", name)), name
    # A name a client may send that means something in HTML, and one it
    # cannot send but an operator might copy in by hand, which the page
    # leaves out as the server would refuse it.
    entity_name = "Tom &amp; Jerry's.txt"
    open(os.path.join(content, "donations", "quote", "0", entity_name), "w").write("quote")
    hostile_name = "<img src=x onerror=alert(1)>"
    open(os.path.join(content, "donations", "quote", "0", hostile_name), "w").write("quote")

    browser.go(admin + "/queue")
    gift_id = "picture/%d/gift.jpg" % position
    # The donated picture is rendered (decoded by the browser), not just listed.
    wait_for(lambda: browser.script(
        "var i = document.querySelector('img[alt=\"gift.jpg\"]'); return i && i.complete && i.naturalWidth > 0;"),
        what="the donated picture rendered")
    text = browser.text()
    assert "54321" in text, "client id not shown"
    for name in utf8_names:
        assert name in text, "%s not shown as written" % name
    assert entity_name in text and "<script>document.title='pwned'</script>" in text, "hostile text not shown as text"
    assert hostile_name not in text, "a name the server refuses is listed"
    assert browser.script("return document.querySelectorAll('script').length;") == 0, "a donor's script became markup"
    assert browser.script("return document.querySelector('img[src=\"x\"]') === null;"), "a donor's name became markup"
    assert browser.script("return document.title;") != "pwned"
    if screenshot:
        browser.screenshot(screenshot)
    browser.screenshot(os.path.join(work, "queue.png"))

    # A POST without the form's token changes nothing, even with the session.
    unwanted = os.path.join(content, "donations", "picture", str(position), "unwanted.jpg")
    browser.script("""
        var form = document.createElement('form');
        form.method = 'post';
        form.action = '/queue';
        var field = document.createElement('input');
        field.name = 'reject_one';
        field.value = arguments[0];
        form.appendChild(field);
        document.body.appendChild(form);
        form.submit();""", "picture/%d/unwanted.jpg" % position)
    wait_for(lambda: "Refused: the form's token is missing" in browser.text(), what="the refusal")
    assert os.path.exists(unwanted), "a POST without the token removed a donation"

    browser.go(admin + "/queue")
    # Accept: the next request of that category receives the donated bytes.
    browser.click('button[name="accept_one"][value="%s"]' % gift_id)
    wait_for(lambda: "accepted: gift.jpg is now in Operator Gifts" in browser.text(), what="the accept message")
    assert picture(server_port, position + 1) == gift, "the category does not serve the accepted picture"
    assert not os.path.exists(os.path.join(content, "donations", "picture", str(position), "gift.jpg"))

    # Reject by selecting it: gone from the disk and from the page.
    browser.click('input[name="item"][value="picture/%d/unwanted.jpg"]' % position)
    browser.click("#reject-selected")
    wait_for(lambda: "rejected: unwanted.jpg is removed" in browser.text(), what="the reject message")
    assert not os.path.exists(unwanted), "the rejected donation is still there"
    assert not browser.find('input[name="item"][value="picture/%d/unwanted.jpg"]' % position)

    audit = open(os.path.join(content, "audit.log")).read()
    assert "admin@127.0.0.1 accept " + gift_id in audit and "reject picture/%d/unwanted.jpg" % position in audit, audit


if __name__ == "__main__":
    try:
        main()
    except AssertionError as e:
        print("admin browser test: FAILED:", e, file=sys.stderr)
        sys.exit(1)
