#!/usr/bin/env python3
"""The command-line face of the real ZorvaManager executable, against the demo catalogue served
over HTTPS: every command with its text and JSON output, the exit statuses, product names that
match nothing or several products, Ctrl+C during a large install, and receipts that the
command writes as the window reads them. Every run has DISPLAY and WAYLAND_DISPLAY unset.

    cli_tests.py PROGRAM CATALOGUE_HOST

PROGRAM is a ZorvaManager executable built for CATALOGUE_HOST, which must be localhost:PORT
(the test build). Run it inside tests/service/with_service, whose localhost certificate the
service uses and whose trust the program relies on; CTest does so under scripts/test. Without
that environment, or for another host, it exits 77 (skipped). It takes a private network
namespace when it can, so that PORT never meets another run's.

Each test starts from an empty temporary home (HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and TMPDIR
inside it). Bounds on waiting are liveness checks, never timings.
"""

import glob
import json
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SKIP = 77
RUN_BOUND = 300
START_BOUND = 60
CANCEL_BOUND = 30
PORT_BOUND = 300

PROGRAM = None
BASE_URL = None
DATA = None
SCRATCH = None

ALL_SLUGS = ["ember-reverb", "driftwood-tape-delay", "nebula-poly", "granite-compressor", "prism-eq",
             "ferrite-saturator", "halo-chorus", "unity-gain", "quartz-limiter"]


def name_key(text):
    return "".join(c.lower() for c in text if c.isascii() and c.isalnum())


def catalogue_path():
    return os.path.join(DATA, "api", "manager", "releases")


def load_catalogue():
    with open(catalogue_path(), encoding="utf-8") as file:
        return json.load(file)


def save_catalogue(document):
    with open(catalogue_path(), "w", encoding="utf-8") as file:
        json.dump(document, file, indent=2)


def fetch(path):
    """GET path from the service, as the test's own client (the trust bundle is the system's)."""
    import urllib.request
    with urllib.request.urlopen(BASE_URL + path, timeout=30) as answer:
        return answer.read()


class Home:
    """A temporary home with the folders the program uses."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="home.", dir=SCRATCH)
        self.config = os.path.join(self.root, ".config")
        self.tmp = os.path.join(self.root, "tmp")
        self.vst3 = os.path.join(self.root, ".vst3")
        self.clap = os.path.join(self.root, ".clap")
        for folder in (self.config, os.path.join(self.root, ".local", "share"), self.tmp):
            os.makedirs(folder)
        self.receipts_file = os.path.join(self.config, "ZorvaPlugins", "ZorvaManager", "installed.json")

    def environment(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "TERM")}
        env.update(HOME=self.root, XDG_CONFIG_HOME=self.config,
                   XDG_DATA_HOME=os.path.join(self.root, ".local", "share"), TMPDIR=self.tmp)
        return env

    def run(self, *arguments):
        return subprocess.run([PROGRAM, *arguments], env=self.environment(), capture_output=True,
                              text=True, timeout=RUN_BOUND, stdin=subprocess.DEVNULL)

    def receipts(self):
        if not os.path.exists(self.receipts_file):
            return {}
        with open(self.receipts_file, encoding="utf-8") as file:
            return json.load(file)

    def bundles(self):
        found = []
        for folder in (self.vst3, self.clap):
            if os.path.isdir(folder):
                found += sorted(os.listdir(folder))
        return found

    def scratch_folders(self):
        return glob.glob(os.path.join(self.tmp, "zorvamanager-ui-*"))

    def seed(self, slug, version):
        """Puts a release in place with its receipt, as the window would have installed it."""
        subprocess.run([sys.executable, os.path.join(ROOT, "tests", "blackbox", "install_release.py"),
                        "--data", DATA, "--slug", slug, "--version", version, "--vst3", self.vst3,
                        "--clap", self.clap, "--receipts", self.receipts_file], check=True, stdout=subprocess.DEVNULL)


def list_json(home, *arguments):
    result = home.run("list", "--json", *arguments)
    assert result.returncode == 0, result.stderr
    return {product["slug"]: product for product in json.loads(result.stdout)["products"]}


class CliTestCase(unittest.TestCase):
    def setUp(self):
        self.home = Home()
        self.saved_catalogue = load_catalogue()

    def tearDown(self):
        save_catalogue(self.saved_catalogue)
        self.assertEqual(self.home.scratch_folders(), [], "a scratch folder was left behind")

    def assertRun(self, result, status, stdout=(), stderr=()):
        message = f"exit {result.returncode}\n--- stdout\n{result.stdout}--- stderr\n{result.stderr}"
        self.assertEqual(result.returncode, status, message)
        for text in stdout:
            self.assertIn(text, result.stdout, message)
        for text in stderr:
            self.assertIn(text, result.stderr, message)

    def assertHolds(self, *slugs_and_versions):
        """The folders and receipts hold exactly these products (home_state.py's rules)."""
        result = subprocess.run([sys.executable, os.path.join(ROOT, "tests", "blackbox", "home_state.py"),
                                 "--catalogue", catalogue_path(), "--vst3", self.home.vst3, "--clap",
                                 self.home.clap, "--receipts", self.home.receipts_file, *slugs_and_versions],
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)


class UsageTests(CliTestCase):
    def test_help_and_version_need_no_catalogue(self):
        self.assertRun(self.home.run("--help"), 0, stdout=["usage: ZorvaManager", "install NAME... | --all"])
        self.assertRun(self.home.run("install", "--help"), 0, stdout=["usage: ZorvaManager"])
        self.assertRun(self.home.run("--version"), 0, stdout=["ZorvaManager 1.0.0"])

    def test_usage_errors_exit_2_and_change_nothing(self):
        cases = [
            (["frobnicate"], "unknown command: frobnicate"),
            (["install"], "install needs product names or --all"),
            (["remove"], "remove needs product names or --all"),
            (["install", "prism-eq", "--all"], "give product names or --all, not both"),
            (["list", "--installed", "--free"], "--installed, --updates and --free exclude each other"),
            (["list", "--search"], "--search needs a text"),
            (["list", "--jobs", "5"], "--jobs takes a number from 1 to 4"),
            (["list", "--jobs", "0"], "--jobs takes a number from 1 to 4"),
            (["install", "prism-eq", "--vst3-only", "--clap-only"], "--vst3-only and --clap-only exclude each other"),
            (["scan", "--all"], "unknown option for scan: --all"),
            (["scan", "extra"], "unexpected argument: extra"),
            (["list", "--vst3-dir"], "--vst3-dir needs a folder"),
        ]
        for arguments, error in cases:
            with self.subTest(arguments=arguments):
                result = self.home.run(*arguments)
                self.assertRun(result, 2, stderr=["ZorvaManager: " + error])
                self.assertEqual(result.stdout, "")
        self.assertEqual(self.home.bundles(), [])


class DisplayTests(CliTestCase):
    def test_no_display_connection_even_with_a_display_set(self):
        # An X display on TCP (display 57 is port 6057 of this run's own loopback) that notes
        # every connection: the commands must never open one, whatever DISPLAY says.
        with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as display:
            display.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            display.bind(("127.0.0.1", 6057))
            display.listen(8)
            display.setblocking(False)
            environment = self.home.environment()
            environment["DISPLAY"] = "127.0.0.1:57"
            for arguments in (["list"], ["scan"], ["install", "unity-gain"], ["update"], ["remove", "--all"], ["--help"]):
                with self.subTest(arguments=arguments):
                    result = subprocess.run([PROGRAM, *arguments], env=environment, capture_output=True, text=True,
                                            timeout=RUN_BOUND, stdin=subprocess.DEVNULL)
                    self.assertRun(result, 0)
            with self.assertRaises(BlockingIOError, msg="a command connected to the X display"):
                display.accept()


class ListAndScanTests(CliTestCase):
    def test_list_text_and_json_follow_the_window_rows(self):
        self.home.seed("prism-eq", "1.9.4")
        self.home.seed("unity-gain", "1.1.0")

        products = list_json(self.home)
        self.assertEqual(list(products), ALL_SLUGS)
        prism = products["prism-eq"]
        self.assertEqual(list(prism), ["slug", "name", "description", "installedVersion", "latestVersion",
                                       "installed", "updateAvailable", "free", "formats", "installedPaths"])
        self.assertEqual((prism["name"], prism["installedVersion"], prism["latestVersion"]), ("Prism EQ", "1.9.4", "1.10.0"))
        self.assertTrue(prism["installed"] and prism["updateAvailable"])
        self.assertEqual(prism["formats"], ["clap", "vst3"])
        self.assertEqual(sorted(os.path.basename(p) for p in prism["installedPaths"]), ["PrismEQ.clap", "PrismEQ.vst3"])
        ember = products["ember-reverb"]
        self.assertEqual((ember["installedVersion"], ember["installed"], ember["updateAvailable"], ember["installedPaths"]),
                         (None, False, False, []))
        self.assertTrue(products["unity-gain"]["free"] and not products["unity-gain"]["updateAvailable"])
        self.assertEqual(products["halo-chorus"]["formats"], ["clap"])

        self.assertEqual(list(list_json(self.home, "--installed")), ["prism-eq", "unity-gain"])
        self.assertEqual(list(list_json(self.home, "--updates")), ["prism-eq"])
        self.assertEqual(list(list_json(self.home, "--free")), ["unity-gain"])
        self.assertEqual(list(list_json(self.home, "--search", "TAPE")), ["driftwood-tape-delay"])
        self.assertEqual(list(list_json(self.home, "--vst3-only")), [s for s in ALL_SLUGS if s != "halo-chorus"])

        text = self.home.run("list")
        self.assertRun(text, 0)
        lines = text.stdout.splitlines()
        self.assertEqual(lines[0].split(), ["NAME", "SLUG", "INSTALLED", "LATEST", "STATE", "FORMATS", "FREE"])
        self.assertEqual(len(lines), 1 + len(ALL_SLUGS))
        self.assertRegex(text.stdout, r"Prism EQ +prism-eq +1\.9\.4 +1\.10\.0 +update available +clap,vst3\n")
        self.assertRegex(text.stdout, r"Unity Gain +unity-gain +1\.1\.0 +1\.1\.0 +installed +clap,vst3 +free\n")
        self.assertRegex(text.stdout, r"Ember Reverb +ember-reverb +- +2\.1\.0-beta\.2 +not installed +clap,vst3\n")
        self.assertRun(self.home.run("list", "--search", "no such thing"), 0, stdout=["No products."])

    def test_scan_text_and_json(self):
        self.assertRun(self.home.run("scan"), 0, stdout=["Installed scan: 0 plugin(s) found."])
        self.home.seed("prism-eq", "1.9.4")
        plugins = json.loads(self.home.run("scan", "--json").stdout)["plugins"]
        self.assertEqual([(p["format"], p["name"], p["version"], p["path"]) for p in plugins],
                         [("vst3", "PrismEQ", "1.9.4", os.path.join(self.home.vst3, "PrismEQ.vst3")),
                          ("clap", "PrismEQ", None, os.path.join(self.home.clap, "PrismEQ.clap"))])
        text = self.home.run("scan")
        self.assertRun(text, 0, stdout=["Installed scan: 2 plugin(s) found."])
        self.assertRegex(text.stdout, r"vst3 +PrismEQ +1\.9\.4 +" + re.escape(os.path.join(self.home.vst3, "PrismEQ.vst3")))

    def test_scan_and_list_honour_chosen_folders(self):
        vst3 = os.path.join(self.home.root, "studio", "vst3")
        clap = os.path.join(self.home.root, "studio", "clap")
        self.assertRun(self.home.run("install", "halo-chorus", "--vst3-dir", vst3, "--clap-dir", clap), 0)
        self.assertTrue(os.path.isfile(os.path.join(clap, "HaloChorus.clap")))
        self.assertEqual(self.home.bundles(), [])
        # Folders given on the command line are not remembered: the default folders hold nothing.
        self.assertFalse(list_json(self.home)["halo-chorus"]["installed"])
        self.assertTrue(list_json(self.home, "--clap-dir", clap)["halo-chorus"]["installed"])

    def test_the_folders_chosen_in_the_window_are_used(self):
        vst3 = os.path.join(self.home.root, "chosen", "vst3")
        clap = os.path.join(self.home.root, "chosen", "clap")
        settings = os.path.join(self.home.config, "ZorvaPlugins", "ZorvaManager", "settings.json")
        os.makedirs(os.path.dirname(settings))
        with open(settings, "w", encoding="utf-8") as file:
            json.dump({"clapFolder": clap, "vst3Folder": vst3}, file)
        self.assertRun(self.home.run("install", "unity-gain"), 0, stdout=["Installed " + os.path.join(vst3, "UnityGain.vst3")])
        self.assertTrue(os.path.isfile(os.path.join(clap, "UnityGain.clap")))
        self.assertEqual(self.home.bundles(), [])
        self.assertTrue(list_json(self.home)["unity-gain"]["installed"])
        self.assertRun(self.home.run("remove", "unity-gain"), 0, stdout=["Removed 2 plugin path(s) for Unity Gain"])
        self.assertEqual(os.listdir(vst3) + os.listdir(clap), [])

    def test_catalogue_failures_exit_3(self):
        cases = [("test/status/500", "Catalogue fetch failed: "),
                 ("test/bytes/20", "Invalid catalogue: ")]
        try:
            for route, error in cases:
                with self.subTest(route=route):
                    fetch("/test/route-catalogue/" + route)
                    for command in (["list"], ["install", "prism-eq"], ["update"], ["remove", "--all"]):
                        self.assertRun(self.home.run(*command), 3, stderr=[error])
            # The scan needs no catalogue.
            self.assertRun(self.home.run("scan"), 0)
        finally:
            fetch("/test/route-catalogue/")


class OperationTests(CliTestCase):
    def test_install_update_and_remove_keep_bundles_and_receipts_true(self):
        self.home.seed("prism-eq", "1.9.4")

        result = self.home.run("install", "Driftwood Tape Delay")
        self.assertRun(result, 0, stdout=["Installing Driftwood Tape Delay", "Installed " + os.path.join(self.home.vst3, "DriftwoodTapeDelay.vst3")])
        self.assertIn("Driftwood Tape Delay: Verifying...", result.stdout)
        self.assertHolds("prism-eq=1.9.4", "driftwood-tape-delay")

        self.assertRun(self.home.run("install", "driftwood-tape-delay"), 0, stdout=["Driftwood Tape Delay is up to date"])
        self.assertRun(self.home.run("update", "driftwood-tape-delay"), 0, stdout=["Driftwood Tape Delay is up to date"])
        self.assertRun(self.home.run("update", "ember-reverb"), 1, stderr=["Ember Reverb is not installed"])

        result = self.home.run("update")
        self.assertRun(result, 0, stdout=["Queued 1 product(s) for update.", "Updating Prism EQ"])
        self.assertHolds("prism-eq", "driftwood-tape-delay")
        self.assertRun(self.home.run("update", "--all"), 0, stdout=["Nothing to update."])

        # One format only: the other bundle and the receipt stay.
        result = self.home.run("remove", "PRISM-EQ", "--vst3-only")
        self.assertRun(result, 0, stdout=["Removing Prism EQ", "Removed 1 plugin path(s) for Prism EQ"])
        self.assertFalse(os.path.exists(os.path.join(self.home.vst3, "PrismEQ.vst3")))
        self.assertIn("prismeq", self.home.receipts())
        self.assertRun(self.home.run("remove", "prism-eq", "--vst3-only"), 1,
                       stderr=["No installed plugin matches the selected type for Prism EQ"])

        self.assertRun(self.home.run("remove", "prism eq"), 0, stdout=["Removed 1 plugin path(s) for Prism EQ"])
        self.assertHolds("driftwood-tape-delay")
        self.assertRun(self.home.run("remove", "prism-eq"), 0, stdout=["Prism EQ is not installed"])

        self.assertRun(self.home.run("remove", "--all"), 0, stdout=["Queued 1 product(s) for uninstall.", "Removed 2 plugin path(s) for Driftwood Tape Delay"])
        self.assertHolds()
        self.assertRun(self.home.run("remove", "--all"), 0, stdout=["Nothing installed to uninstall."])

    def test_install_all_takes_the_windows_candidates(self):
        self.home.seed("prism-eq", "1.9.4")
        self.home.seed("unity-gain", "1.1.0")
        result = self.home.run("install", "--all", "--jobs", "3")
        self.assertRun(result, 0, stdout=["Queued 8 product(s) for install/update.", "Updating Prism EQ", "Installing Quartz Limiter"])
        self.assertNotIn("Unity Gain", result.stdout)
        self.assertHolds(*ALL_SLUGS)
        self.assertRun(self.home.run("install", "--all"), 0, stdout=["Nothing to install or update."])

    def test_a_failing_product_among_good_ones_exits_1(self):
        catalogue = load_catalogue()
        for product in catalogue["products"]:
            if product["slug"] == "granite-compressor":
                for release in product["releases"]:
                    for artifact in release["artifacts"]:
                        artifact["sha256"] = "0" * 64
        save_catalogue(catalogue)

        result = self.home.run("install", "prism-eq", "granite-compressor", "halo-chorus", "--jobs", "1")
        self.assertRun(result, 1, stderr=["Granite Compressor: Verification failed: "])
        self.assertNotIn("Verification failed", result.stdout)
        self.assertHolds("prism-eq", "halo-chorus")

    def test_names_that_match_nothing_or_several_products(self):
        catalogue = load_catalogue()
        twin = json.loads(json.dumps(next(p for p in catalogue["products"] if p["slug"] == "prism-eq")))
        twin["slug"] = "prism-eq-studio"
        twin["name"] = "PRISM EQ"
        catalogue["products"].append(twin)
        save_catalogue(catalogue)

        cases = [
            (["install", "nosuch"], ["no product is called nosuch (see ZorvaManager list)"]),
            (["install", "reverb"], ["no product is called reverb; did you mean: ember-reverb (Ember Reverb)"]),
            (["install", "Prism EQ"], ["more than one product is called Prism EQ: prism-eq (Prism EQ), prism-eq-studio (PRISM EQ)"]),
            # One bad name stops the whole command before anything is done.
            (["install", "halo-chorus", "nosuch"], ["no product is called nosuch"]),
            (["remove", "nosuch", "prism eq"], ["no product is called nosuch", "more than one product is called prism eq"]),
        ]
        for arguments, errors in cases:
            with self.subTest(arguments=arguments):
                self.assertRun(self.home.run(*arguments), 2, stderr=errors)
        self.assertHolds()
        # A slug is unique even where names clash.
        self.assertRun(self.home.run("install", "prism-eq-studio", "--clap-only"), 0, stdout=["Installing PRISM EQ"])

    def test_receipts_cross_between_command_and_window(self):
        # A receipt the window wrote (install_release.py writes it as the window does) gives the
        # command's rows the CLAP-only product's version, which the scan cannot read.
        self.home.seed("halo-chorus", "0.8.2")
        halo = list_json(self.home)["halo-chorus"]
        self.assertEqual((halo["installedVersion"], halo["updateAvailable"]), ("0.8.2", True))
        # The command's receipt has the window's file format and keys, so the window reads it.
        self.assertRun(self.home.run("update", "halo-chorus"), 0, stdout=["Updating Halo Chorus"])
        self.assertEqual(self.home.receipts(), {"halochorus": {"name": "Halo Chorus", "version": "0.9.0"}})
        with open(self.home.receipts_file, encoding="utf-8") as file:
            self.assertFalse(file.read().endswith("\n"))


class InterruptTests(CliTestCase):
    def test_ctrl_c_during_a_large_install(self):
        size = 256 << 20
        package = os.path.join(DATA, "packages", "BigBundle-1.0.0-linux-x64.tar.gz")
        with open(package, "wb") as file:
            generator = random.Random(7)
            for _ in range(size >> 20):
                file.write(generator.randbytes(1 << 20))
        try:
            catalogue = load_catalogue()
            big = json.loads(json.dumps(next(p for p in catalogue["products"] if p["slug"] == "quartz-limiter")))
            big.update(slug="big-bundle", name="Big Bundle")
            artifact = big["releases"][0]["artifacts"][0]
            artifact.update(format="vst3", fileName=os.path.basename(package), sizeBytes=size,
                            downloadUrl=BASE_URL + "/test/throttle/8000000/packages/" + os.path.basename(package))
            big["releases"] = [{**big["releases"][0], "artifacts": [artifact]}]
            catalogue["products"].append(big)
            save_catalogue(catalogue)
            self.home.seed("prism-eq", "1.9.4")
            receipts_before = self.home.receipts()

            for sent in (signal.SIGINT, signal.SIGTERM):
                with self.subTest(signal=sent.name):
                    self.interrupt_install(sent, receipts_before)
        finally:
            os.remove(package)

    def interrupt_install(self, sent, receipts_before):
        """Starts installing the large product and then one more, and sends the signal once the
        download is under way: the program ends soon with 130, nothing half-installed."""
        process = subprocess.Popen([PROGRAM, "install", "big-bundle", "unity-gain", "--jobs", "1"],
                                   env=self.home.environment(), stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True, stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + START_BOUND
        while not any(os.path.getsize(f) > (1 << 20) for d in self.home.scratch_folders()
                      for f in glob.glob(os.path.join(d, "*")) if os.path.isfile(f)):
            self.assertIsNone(process.poll(), "the program ended before the download was under way")
            self.assertLess(time.monotonic(), deadline, "the download did not start")
            time.sleep(0.05)

        process.send_signal(sent)
        interrupted = time.monotonic()
        stdout, stderr = process.communicate(timeout=CANCEL_BOUND)
        print(f"({sent.name}: ended {time.monotonic() - interrupted:.2f} s after it) ", end="", flush=True)
        self.assertEqual(process.returncode, 130, stdout + stderr)
        self.assertIn("Cancelled.", stderr)
        # The product queued after it never started; what was there stays whole, receipts true,
        # no scratch folder left.
        self.assertNotIn("Installed ", stdout)
        self.assertEqual(self.home.receipts(), receipts_before)
        self.assertHolds("prism-eq=1.9.4")
        self.assertEqual(self.home.scratch_folders(), [])


def bring_loopback_up():
    import fcntl
    import struct
    SIOCGIFFLAGS, SIOCSIFFLAGS, IFF_UP = 0x8913, 0x8914, 0x1
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        flags = struct.unpack("16sH22x", fcntl.ioctl(s, SIOCGIFFLAGS, struct.pack("16sH22x", b"lo", 0)))[1]
        fcntl.ioctl(s, SIOCSIFFLAGS, struct.pack("16sH22x", b"lo", flags | IFF_UP))


def main():
    global PROGRAM, BASE_URL, DATA, SCRATCH
    if len(sys.argv) != 3:
        print("usage: cli_tests.py PROGRAM CATALOGUE_HOST", file=sys.stderr)
        return 2
    PROGRAM = os.path.abspath(sys.argv[1])
    match = re.fullmatch(r"localhost:(\d+)", sys.argv[2])
    if not match:
        print(f"cli_tests: skipped: the program is built for {sys.argv[2]}, not for localhost:PORT")
        return SKIP
    port = int(match.group(1))
    for variable in ("ZORVAMANAGER_TEST_SERVICE_SCRIPT", "ZORVAMANAGER_TEST_CERT", "ZORVAMANAGER_TEST_KEY"):
        if not os.environ.get(variable):
            print("cli_tests: skipped: no trusted local service here (run it inside tests/service/with_service)")
            return SKIP

    network = os.environ.get("ZORVAMANAGER_CLI_NETWORK")
    if not network:
        for namespace in (["unshare", "--net"], ["unshare", "--map-root-user", "--net"]):
            if subprocess.run([*namespace, "true"], capture_output=True).returncode == 0:
                os.environ["ZORVAMANAGER_CLI_NETWORK"] = "private"
                os.execvp(namespace[0], [*namespace, "--", sys.executable, *sys.argv])
        os.environ["ZORVAMANAGER_CLI_NETWORK"] = network = "shared"
    if network == "private":
        bring_loopback_up()

    if network == "shared":
        # Another run (the application tests, the black-box run) may hold the port for a while.
        deadline = time.monotonic() + PORT_BOUND
        while True:
            with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
                try:
                    probe.bind(("127.0.0.1", port))
                    break
                except OSError:
                    if time.monotonic() > deadline:
                        print(f"cli_tests: port {port} stayed in use", file=sys.stderr)
                        return 1
            time.sleep(0.5)

    BASE_URL = f"https://localhost:{port}"
    SCRATCH = tempfile.mkdtemp(prefix="zorvamanager-cli.")
    DATA = os.path.join(SCRATCH, "data")
    service = None
    try:
        subprocess.run([sys.executable, os.path.join(ROOT, "tests", "fixtures", "make_maker_data.py"),
                        "--base-url", BASE_URL, "--out", DATA, "--no-convert"], check=True, stdout=subprocess.DEVNULL)
        ready = os.path.join(SCRATCH, "ready")
        service = subprocess.Popen([sys.executable, os.environ["ZORVAMANAGER_TEST_SERVICE_SCRIPT"], "--port", str(port),
                                    "--cert", os.environ["ZORVAMANAGER_TEST_CERT"], "--key", os.environ["ZORVAMANAGER_TEST_KEY"],
                                    "--data", DATA, "--ready-file", ready])
        deadline = time.monotonic() + START_BOUND
        while not os.path.exists(ready):
            if service.poll() is not None or time.monotonic() > deadline:
                print("cli_tests: the maker service did not start", file=sys.stderr)
                return 1
            time.sleep(0.1)

        suite = unittest.defaultTestLoader.loadTestsFromModule(sys.modules[__name__])
        outcome = unittest.TextTestRunner(verbosity=2).run(suite)
        return 0 if outcome.wasSuccessful() else 1
    finally:
        if service is not None:
            service.terminate()
            service.wait()
        shutil.rmtree(SCRATCH, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
