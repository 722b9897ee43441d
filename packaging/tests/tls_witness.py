#!/usr/bin/env python3
"""A TLS listener that only reports what clients do: for each connection one line in the log,
"refused <reason>" when the TLS handshake fails (a client that does not trust the certificate
sends an alert naming why), or "request <first line>" when a client got through and sent a
request, which is answered 404.

    tls_witness.py --port PORT --cert FILE --key FILE --log FILE --ready-file FILE
"""

import argparse
import socket
import ssl
import sys


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__)
    for name in ("--port", "--cert", "--key", "--log", "--ready-file"):
        parser.add_argument(name, required=True)
    options = parser.parse_args(argv)

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(options.cert, options.key)
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", int(options.port)))
    listener.listen(16)
    open(options.ready_file, "w").close()

    with open(options.log, "a", encoding="utf-8") as log:
        while True:
            connection, _ = listener.accept()
            connection.settimeout(30)
            try:
                with context.wrap_socket(connection, server_side=True) as secure:
                    line = secure.makefile("rb").readline().decode("latin-1").strip()
                    log.write("request %s\n" % line)
                    log.flush()
                    secure.sendall(b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
            except (ssl.SSLError, OSError) as error:
                log.write("refused %s\n" % getattr(error, "reason", None) or error)
                log.flush()
                connection.close()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
