#!/usr/bin/env python3
"""update_server.py FOLDER: HTTP, HTTPS with certificates from an authority made in FOLDER
(one for 127.0.0.1, a self-signed one, one for another host) and a CONNECT proxy on 127.0.0.1.
Prints the ports by "scheme-what" name and "ca" as one JSON line; ends with its input."""
import contextlib
import json
import os
import socket
import ssl
import subprocess
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from socketserver import StreamRequestHandler, ThreadingTCPServer

counts = {}  # requests by page (a cut page by its key), tunnels as "proxy"
counts_lock = threading.Lock()


def count(key):
    with counts_lock:
        counts[key] = counts.get(key, 0) + 1
        return counts[key]


HUGE = b"latest version: 9.9.9 " + b"x" * ((1 << 20) + 10)  # over the 1 MiB a fetch takes
CAFE = "<html>café latest version: 1.3.0 </html>"
# Page: status, content type, body, and whether its length is announced (else it ends at close).
PAGES = {
    "newer": (200, "text/plain", b"latest version: 1.3.0 ", True),
    "pavo/update": (200, "text/html", b"<html><body>Latest Version: 1.3.0 </body></html>", True),
    "latin1": (200, "text/html; charset=ISO-8859-1", CAFE.encode("latin-1"), True),
    "utf8upper": (200, "text/html; charset=UTF-8", CAFE.encode(), True),
    "utf8capital": (200, "text/html; Charset=utf-8", CAFE.encode(), True),
    "error": (500, "text/html", b"<html>Internal Server Error</html>", False),
    "huge": (200, "text/plain", HUGE, True),  # refused before it is read
    "huge-unannounced": (200, "text/plain", HUGE, False),
}


class Pages(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"  # one request per connection; a body may end at close

    def log_message(self, *args):  # quiet
        pass

    def answer(self, status, content_type, body, announced=True, cut=None):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        if announced:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body[:cut])

    def do_GET(self):
        page = self.path[1:]
        if page.startswith("cut"):  # cutN/KEY: the first N answers stop halfway through
            cuts, page = page.split("/", 1)
            cut = 30 if count(page) <= int(cuts[3:]) else None
            return self.answer(200, "text/html", b"<html>latest version: 1.3.0 <p>more</p></html>",
                               cut=cut)
        count(page)
        if page in PAGES:
            self.answer(*PAGES[page])
        elif page.startswith("count/"):
            self.answer(200, "text/plain", str(counts.get(page[6:], 0)).encode())
        elif page == "drip":  # a byte a second, longer than any attempt waits
            self.answer(200, "text/html", b"", announced=False)
            with contextlib.suppress(OSError):
                for byte in b"<html>latest version: 1.3.0 </html>" + b" " * 100:
                    self.wfile.write(bytes([byte]))  # unbuffered
                    time.sleep(1)
        else:
            self.answer(404, "text/html", b"<html>Not found</html>")


def pump(source, sink):
    with contextlib.suppress(OSError):
        while data := source.recv(65536):
            sink.sendall(data)
    with contextlib.suppress(OSError):
        sink.shutdown(socket.SHUT_WR)


class Tunnel(StreamRequestHandler):
    """A proxy that answers CONNECT by tunnelling to `Tunnel.target`, whatever was asked."""

    def handle(self):
        while self.rfile.readline() not in (b"\r\n", b"\n", b""):  # CONNECT and its headers
            pass
        count("proxy")
        upstream = socket.create_connection(("127.0.0.1", Tunnel.target))
        self.wfile.write(b"HTTP/1.1 200 Connection established\r\n\r\n")
        other = threading.Thread(target=pump, args=(upstream, self.connection), daemon=True)
        other.start()
        pump(self.connection, upstream)
        other.join()
        upstream.close()


def make(folder, name, subject, extensions, signer=()):
    """A certificate and its key, signed by `signer` (the authority's) or by itself."""
    cert, key = os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".key")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:P-256", "-nodes", "-days", "1", "-subj", subject,
                    "-keyout", key, "-out", cert, *signer,
                    *(arg for extension in extensions for arg in ("-addext", extension)),
                    "-config", "/dev/stdin"],  # its own: the system's may be missing
                   input=b"[req]\ndistinguished_name = name\n[name]\n", check=True,
                   capture_output=True)
    return cert, key


def serve(server, certificate=None):
    if certificate:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*certificate)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def main():
    folder = sys.argv[1]
    ThreadingTCPServer.daemon_threads = True
    ca, ca_key = make(folder, "ca", "/CN=Pavo test authority",
                      ["basicConstraints=critical,CA:true", "keyUsage=critical,keyCertSign"])
    signed, local = ("-CA", ca, "-CAkey", ca_key), ["subjectAltName=IP:127.0.0.1,DNS:localhost"]
    ports = {"http": serve(ThreadingHTTPServer(("127.0.0.1", 0), Pages))}
    for name, subject, extensions, signer in [
            ("https", "/CN=127.0.0.1", local, signed),
            ("https-self-signed", "/CN=127.0.0.1", local, ()),
            ("https-other-host", "/CN=other.example", ["subjectAltName=DNS:other.example"], signed)]:
        certificate = make(folder, name, subject, extensions, signer)
        ports[name] = serve(ThreadingHTTPServer(("127.0.0.1", 0), Pages), certificate)
    Tunnel.target = ports["https"]
    ports["http-proxy"] = serve(ThreadingTCPServer(("127.0.0.1", 0), Tunnel))
    with socket.socket() as closed:
        closed.bind(("127.0.0.1", 0))
        ports["https-closed"] = closed.getsockname()[1]
    print(json.dumps({**ports, "ca": ca}), flush=True)
    sys.stdin.read()


if __name__ == "__main__":
    main()
