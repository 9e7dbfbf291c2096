#!/usr/bin/env python3
"""A throwaway https server on 127.0.0.1 for the diagnosis tests (started by test-inner.sh).

https-test-server.py <cert.pem> <key.pem> <port file>: listens on a free port of 127.0.0.1 with
the given certificate, writes the port into the port file once it listens, and answers every
GET with a small page until it is killed. Handshakes the client gives up (the certificate is
self-signed, for a name that is not this address) are the point, and do not end it.
"""
import http.server
import os
import ssl
import sys


class Page(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = b"<!DOCTYPE html><html><body>https ok</body></html>"
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass


def main():
    cert, key, port_file = sys.argv[1:4]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server = Server(("127.0.0.1", 0), Page)
    # The handshake runs in the handler's thread, so a client that never finishes it holds up nothing.
    server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    with open(port_file + ".new", "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(port_file + ".new", port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
