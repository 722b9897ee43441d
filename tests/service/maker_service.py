#!/usr/bin/env python3
"""A stand-in for the maker's web service, for tests and demos on this machine only.

Serves a data folder over HTTPS (the release catalogue at /api/manager/releases, packages,
product pages and pictures) plus a few test behaviours under /test/. Python standard library
only. Listens on 127.0.0.1; extra listeners with other certificates share the same handler.

Test behaviours (the byte at body position i is always i modulo 251, unless a data file is
served):

    /test/status/<code>          that status with a short text body
    /test/204                    204 No Content
    /test/redirect/<301|302>/<token>
                                 a redirect to /test/redirect-target/<token>
    /test/redirect-target/<token>
                                 remembers that <token> was requested
    /test/contacted/<token>      "yes" or "no": was /test/redirect-target/<token> requested
    /test/stall/<seconds>        Content-Length 1 MiB, 1000 bytes at once, then nothing for
                                 <seconds> before the connection closes
    /test/silent/<seconds>       reads the request, answers nothing for <seconds>, closes
    /test/bytes/<n>              n bytes with their Content-Length
    /test/chunked/<n>            n bytes in chunked encoding, no Content-Length
    /test/unsized/<n>            n bytes with neither Content-Length nor chunks: the end of the
                                 body is the end of the connection
    /test/endless                200 without Content-Length, bytes until the client goes away
                                 (the end would be the end of the connection)
    /test/endless-chunked        the same in chunked encoding
    /test/declared/<n>/<m>       Content-Length n but m bytes sent, then the connection closes
                                 (a server that lies about the size, either way)
    /test/throttle/<bytesPerSecond>/<path>
                                 the data file at <path> with its real Content-Length, sent at
                                 roughly that rate
    /test/peer                   "<address>:<port>" of the client's end of this connection, to
                                 tell whether a client reuses its connections
    /test/echo-agent             the request's User-Agent
    /test/route-catalogue/<path> from now on the release catalogue (/api/manager/releases) is
                                 answered as /<path> would be: a data file or a test behaviour,
                                 such as test/stall/30 or test/throttle/100/slow.json (for a
                                 program whose catalogue address is built in). Answers "routed";
                                 /test/route-catalogue/ alone serves the catalogue file again

    maker_service.py --port N --cert C --key K --data DIR [--ready-file F]
                     [--listener PORT:CERT:KEY ...] [--access-log FILE] [--verbose]

With --access-log every answered request appends one line "<method> <path> <status>" to FILE
once its answer has been sent (the path as requested, query included; a data file whose
sending failed gets no line), so a script can tell what a client fetched and with what result.

A port of 0 picks a free one. Once every listener accepts connections it writes the ready
file (one line "ready", then "port <n>" for the main listener and each extra one in order)
or, without --ready-file, prints those lines. Stops cleanly on SIGTERM or SIGINT.
"""

import argparse
import http.server
import os
import posixpath
import signal
import ssl
import sys
import threading
import time
import urllib.parse

CATALOGUE_PATH = "/api/manager/releases"
HANDSHAKE_TIMEOUT_SECONDS = 10
CHUNK = 64 * 1024

CONTENT_TYPES = [
    (".tar.gz", "application/gzip"),
    (".tgz", "application/gzip"),
    (".json", "application/json"),
    (".html", "text/html; charset=utf-8"),
    (".png", "image/png"),
    (".jpg", "image/jpeg"),
    (".jpeg", "image/jpeg"),
    (".gif", "image/gif"),
    (".zip", "application/zip"),
]


def content_type_for(name):
    lower = name.lower()
    for suffix, kind in CONTENT_TYPES:
        if lower.endswith(suffix):
            return kind
    return "application/octet-stream"


def pattern_bytes(offset, length):
    """Deterministic test bytes: the byte at position i is i modulo 251."""
    return bytes((offset + i) % 251 for i in range(length))


class State:
    """What the test behaviours remember between requests."""

    def __init__(self, data_dir, verbose, access_log=None):
        self.data_dir = os.path.realpath(data_dir)
        self.verbose = verbose
        self.lock = threading.Lock()
        self.contacted = set()
        self.catalogue_route = None
        self.access_log = access_log

    def record_access(self, method, path, status):
        if self.access_log is None:
            return
        with self.lock:
            self.access_log.write("%s %s %s\n" % (method, path, status))
            self.access_log.flush()

    def mark_contacted(self, token):
        with self.lock:
            self.contacted.add(token)

    def was_contacted(self, token):
        with self.lock:
            return token in self.contacted

    def route_catalogue(self, path):
        with self.lock:
            self.catalogue_route = path

    def catalogue_path(self):
        with self.lock:
            return self.catalogue_route or CATALOGUE_PATH


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "ZorvaMakerService/1.0"
    protocol_version = "HTTP/1.1"

    @property
    def state(self):
        return self.server.state

    def log_message(self, format, *args):
        if self.state.verbose:
            super().log_message(format, *args)

    def log_request(self, code="-", size="-"):
        self.answered_status = getattr(code, "value", code)
        super().log_request(code, size)

    def handle_one_request(self):
        self.answered_status = None
        super().handle_one_request()
        if self.answered_status is not None:
            self.state.record_access(self.command or "-", getattr(self, "path", "-"), self.answered_status)

    def send_small(self, code, body, content_type="text/plain; charset=utf-8", extra_headers=()):
        data = body.encode("utf-8") if isinstance(body, str) else body
        self.send_response(code)
        for name, value in extra_headers:
            self.send_header(name, value)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)

    def not_found(self):
        self.send_small(404, "not found\n")

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        path = urllib.parse.urlsplit(self.path).path
        if path == CATALOGUE_PATH:
            path = self.state.catalogue_path()
        if path.startswith("/test/"):
            self.handle_test(path[len("/test/"):].split("/"))
        else:
            self.serve_file(path)

    # Static files -----------------------------------------------------------------------------

    def resolve(self, path):
        """The file for a URL path inside the data folder, or None."""
        try:
            decoded = urllib.parse.unquote(path, errors="strict")
        except UnicodeDecodeError:
            return None
        if not decoded.startswith("/") or "\0" in decoded or "\\" in decoded:
            return None
        parts = decoded.split("/")[1:]
        if any(part in ("..", ".") for part in parts):
            return None
        relative = posixpath.join(*parts) if parts else ""
        if relative == "" or os.path.isabs(relative):
            return None
        candidate = os.path.realpath(os.path.join(self.state.data_dir, relative))
        if os.path.commonpath([candidate, self.state.data_dir]) != self.state.data_dir:
            return None
        if not os.path.isfile(candidate):
            return None
        return candidate

    def serve_file(self, path):
        file_name = self.resolve(path)
        if file_name is None:
            self.not_found()
            return
        content_type = "application/json" if path == CATALOGUE_PATH else content_type_for(file_name)
        # Read on every request: a test may rewrite the catalogue between two requests.
        try:
            with open(file_name, "rb") as source:
                size = os.fstat(source.fileno()).st_size
                self.send_response(200)
                self.send_header("Content-Type", content_type)
                self.send_header("Content-Length", str(size))
                self.end_headers()
                if self.command == "HEAD":
                    return
                while True:
                    chunk = source.read(CHUNK)
                    if not chunk:
                        break
                    self.wfile.write(chunk)
        except OSError:
            self.close_connection = True
            self.answered_status = None  # not answered in full: no access log line

    # Test behaviours --------------------------------------------------------------------------

    def handle_test(self, parts):
        name, arguments = parts[0], parts[1:]
        try:
            if name == "status" and len(arguments) == 1:
                code = int(arguments[0])
                if not 200 <= code <= 599 or code in (204, 304):
                    raise ValueError
                self.send_small(code, "status %d from the test service\n" % code)
            elif name == "204" and not arguments:
                self.send_response(204)
                self.end_headers()
            elif name == "redirect" and len(arguments) == 2 and arguments[0] in ("301", "302"):
                target = "/test/redirect-target/" + arguments[1]
                self.send_small(int(arguments[0]), "moved\n", extra_headers=[("Location", target)])
            elif name == "redirect-target" and len(arguments) == 1:
                self.state.mark_contacted(arguments[0])
                self.send_small(200, "redirect target\n")
            elif name == "contacted" and len(arguments) == 1:
                self.send_small(200, "yes" if self.state.was_contacted(arguments[0]) else "no")
            elif name == "stall" and len(arguments) == 1:
                self.stall(float(arguments[0]))
            elif name == "bytes" and len(arguments) == 1:
                self.send_pattern(int(arguments[0]))
            elif name == "silent" and len(arguments) == 1:
                self.silent(float(arguments[0]))
            elif name == "chunked" and len(arguments) == 1:
                self.send_chunked(self.count(arguments[0]))
            elif name == "unsized" and len(arguments) == 1:
                self.send_unsized(self.count(arguments[0]))
            elif name == "endless" and not arguments:
                self.send_unsized(None)
            elif name == "endless-chunked" and not arguments:
                self.send_chunked(None)
            elif name == "declared" and len(arguments) == 2:
                self.send_declared(self.count(arguments[0]), self.count(arguments[1]))
            elif name == "throttle" and len(arguments) >= 2:
                self.send_throttled(float(arguments[0]), "/" + "/".join(arguments[1:]))
            elif name == "peer" and not arguments:
                self.send_small(200, "%s:%d" % self.client_address[:2])
            elif name == "echo-agent" and not arguments:
                self.send_small(200, self.headers.get("User-Agent", ""))
            elif name == "route-catalogue" and arguments:
                route = "/".join(arguments)
                self.state.route_catalogue("/" + route if route else None)
                self.send_small(200, "routed")
            else:
                self.not_found()
        except ValueError:
            self.not_found()

    def stall(self, seconds):
        if not 0 <= seconds <= 600:
            raise ValueError
        self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", "1048576")
        self.end_headers()
        self.wfile.write(pattern_bytes(0, 1000))
        self.wfile.flush()
        time.sleep(seconds)

    def send_pattern(self, count):
        if count < 0:
            raise ValueError
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(count))
        self.end_headers()
        if self.command == "HEAD":
            return
        block = pattern_bytes(0, 251 * 256)
        sent = 0
        while sent < count:
            length = min(len(block), count - sent)
            self.wfile.write(block[:length])
            sent += length


    @staticmethod
    def count(text):
        value = int(text)
        if value < 0:
            raise ValueError
        return value

    def silent(self, seconds):
        if not 0 <= seconds <= 600:
            raise ValueError
        self.close_connection = True
        time.sleep(seconds)

    def write_pattern(self, count, write):
        """Passes count pattern bytes (None: without end) to write, block by block. Stops
        quietly when the client has gone away; the connection is then closed."""
        block = pattern_bytes(0, 251 * 256)
        sent = 0
        try:
            while count is None or sent < count:
                length = len(block) if count is None else min(len(block), count - sent)
                write(block[:length])
                sent += length
        except OSError:
            self.close_connection = True
            return False
        return True

    def send_chunked(self, count):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        if self.command == "HEAD":
            return

        def write_chunk(data):
            self.wfile.write(b"%x\r\n" % len(data) + data + b"\r\n")

        if self.write_pattern(count, write_chunk):
            self.wfile.write(b"0\r\n\r\n")

    def send_unsized(self, count):
        self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Connection", "close")
        self.end_headers()
        if self.command != "HEAD":
            self.write_pattern(count, self.wfile.write)

    def send_declared(self, declared, actual):
        self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(declared))
        self.end_headers()
        if self.command != "HEAD":
            self.write_pattern(actual, self.wfile.write)

    def send_throttled(self, bytes_per_second, path):
        if not bytes_per_second > 0:
            raise ValueError
        file_name = self.resolve(path)
        if file_name is None:
            self.not_found()
            return
        # Slices a tenth of a second apart, so a client sees the body grow steadily.
        interval = 0.1
        slice_length = max(1, int(bytes_per_second * interval))
        try:
            with open(file_name, "rb") as source:
                size = os.fstat(source.fileno()).st_size
                self.send_response(200)
                self.send_header("Content-Type", content_type_for(file_name))
                self.send_header("Content-Length", str(size))
                self.end_headers()
                if self.command == "HEAD":
                    return
                while True:
                    chunk = source.read(slice_length)
                    if not chunk:
                        break
                    self.wfile.write(chunk)
                    time.sleep(interval)
        except OSError:
            self.close_connection = True


class TlsServer(http.server.ThreadingHTTPServer):
    """Accepts plain TCP and does the TLS handshake on the request's own thread, so a client
    that stalls or fails the handshake never holds up the other connections."""

    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port, context, state):
        self.context = context
        self.state = state
        super().__init__(("127.0.0.1", port), Handler)

    def finish_request(self, request, client_address):
        request.settimeout(HANDSHAKE_TIMEOUT_SECONDS)
        try:
            secure = self.context.wrap_socket(request, server_side=True)
        except (OSError, ValueError):
            return
        try:
            secure.settimeout(None)
            self.RequestHandlerClass(secure, client_address, self)
        finally:
            try:
                secure.close()
            except OSError:
                pass

    def shutdown_request(self, request):
        try:
            request.close()
        except OSError:
            pass

    def handle_error(self, request, client_address):
        # A client that hangs up early (a time-out test, a refused certificate) is normal here.
        if self.state.verbose:
            super().handle_error(request, client_address)


def make_context(cert, key):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context


def parse_listener(text):
    port, cert, key = text.split(":", 2)
    return int(port), cert, key


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--data", required=True)
    parser.add_argument("--ready-file")
    parser.add_argument("--listener", action="append", default=[], type=parse_listener,
                        metavar="PORT:CERT:KEY")
    parser.add_argument("--access-log", metavar="FILE")
    parser.add_argument("--verbose", action="store_true")
    options = parser.parse_args()

    if not os.path.isdir(options.data):
        parser.error("data folder does not exist: " + options.data)

    access_log = open(options.access_log, "a", encoding="utf-8") if options.access_log else None
    state = State(options.data, options.verbose, access_log)
    listeners = [(options.port, options.cert, options.key)] + options.listener
    servers = []
    try:
        for port, cert, key in listeners:
            servers.append(TlsServer(port, make_context(cert, key), state))
    except (OSError, ssl.SSLError) as error:
        print("maker_service: cannot listen: %s" % error, file=sys.stderr)
        return 1

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())

    threads = [threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True)
               for server in servers]
    for thread in threads:
        thread.start()

    lines = ["ready"] + ["port %d" % server.server_address[1] for server in servers]
    if options.ready_file:
        temporary = options.ready_file + ".tmp"
        with open(temporary, "w") as ready:
            ready.write("\n".join(lines) + "\n")
        os.replace(temporary, options.ready_file)
    else:
        print("\n".join(lines), flush=True)

    while not stop.wait(0.5):
        pass

    for server in servers:
        server.shutdown()
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
