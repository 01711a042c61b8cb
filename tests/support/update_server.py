#!/usr/bin/env python3
"""Local servers for the update tests, on 127.0.0.1 only.

Usage: update_server.py FOLDER
Makes a test certificate authority in FOLDER (ca.pem, for the fetch to trust) and serves
HTTP, HTTPS with a certificate it signed for 127.0.0.1, HTTPS with a self-signed one and
with one it signed for another host name, and a CONNECT proxy. Prints one JSON line with
the ports ({"http", "https", "https-self-signed", "https-other-host", "proxy", "closed"})
and the authority's file ("ca"), and serves until its standard input closes, so it ends
with the test that started it.
"""
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

MIB = 1 << 20
counts = {}
counts_lock = threading.Lock()


def count(key):
    with counts_lock:
        counts[key] = counts.get(key, 0) + 1
        return counts[key]


PAGES = {
    "/newer": ("text/plain", b"latest version: 1.3.0 "),
    "/pavo/update": ("text/html", b"<html><body>Latest Version: 1.3.0 </body></html>"),
    "/pavo": ("text/html", b"<html><body>Pavo</body></html>"),
    "/same": ("text/html", b"<html>latest version: 1.2.0 </html>"),
    "/equals": ("text/html", b"<html><body>LATEST VERSION = 1.3.0 </body></html>"),
    "/none": ("text/html", b"<html><body>No version here</body></html>"),
    "/latin1": ("text/html; charset=ISO-8859-1", b"<html>caf\xe9 latest version: 1.3.0 </html>"),
    "/utf8upper": ("text/html; charset=UTF-8", "<html>café latest version: 1.3.0 </html>".encode()),
    "/utf8capital": ("text/html; Charset=utf-8", "<html>café latest version: 1.3.0 </html>".encode()),
}


class Pages(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"  # one request per connection; a body may end at close

    def log_message(self, *args):
        pass

    def send_body(self, status, content_type, body, length=None):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        if length is not None:
            self.send_header("Content-Length", str(length))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path = self.path
        count(path)
        if path in PAGES:
            content_type, body = PAGES[path]
            self.send_body(200, content_type, body, len(body))
        elif path == "/error":
            self.send_body(500, "text/html", b"<html>Internal Server Error</html>")
        elif path == "/huge":  # announced: refused before it is read
            body = b"latest version: 9.9.9 " + b"x" * (MIB + 10)
            self.send_body(200, "text/plain", body, len(body))
        elif path == "/huge-unannounced":  # ends only when the connection closes
            self.send_body(200, "text/plain", b"latest version: 9.9.9 " + b"x" * (MIB + 10))
        elif path == "/drip":
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.end_headers()
            try:
                for byte in b"<html>latest version: 1.3.0 </html>" + b" " * 100:
                    self.wfile.write(bytes([byte]))
                    self.wfile.flush()
                    time.sleep(1)
            except OSError:
                pass
        elif path.startswith("/cut"):
            # /cutN/KEY: the first N answers stop halfway through the page.
            kind, key = path[1:].split("/", 1)
            full = b"<html>latest version: 1.3.0 <p>more</p></html>"
            if count("cut:" + key) <= int(kind[3:]):
                self.send_response(200)
                self.send_header("Content-Length", str(len(full)))
                self.end_headers()
                self.wfile.write(full[:30])
            else:
                self.send_body(200, "text/html", full, len(full))
        elif path.startswith("/count/"):
            key = path[len("/count/"):]
            with counts_lock:
                seen = counts.get(key, 0) + counts.get("/" + key, 0) + counts.get("cut:" + key, 0)
            self.send_body(200, "text/plain", str(seen).encode(), len(str(seen)))
        else:
            self.send_body(404, "text/html", b"<html>Not found</html>")


class Tunnel(StreamRequestHandler):
    """A proxy that answers CONNECT by tunnelling to the HTTPS server, whatever the target."""

    target = 0

    def handle(self):
        request = self.rfile.readline()
        while self.rfile.readline() not in (b"\r\n", b"\n", b""):
            pass
        if not request.startswith(b"CONNECT "):
            self.wfile.write(b"HTTP/1.1 405 Method Not Allowed\r\n\r\n")
            return
        count("proxy")
        upstream = socket.create_connection(("127.0.0.1", Tunnel.target))
        self.wfile.write(b"HTTP/1.1 200 Connection established\r\n\r\n")
        self.wfile.flush()

        def pump(source, sink):
            try:
                while data := source.recv(65536):
                    sink.sendall(data)
            except OSError:
                pass
            finally:
                try:
                    sink.shutdown(socket.SHUT_WR)
                except OSError:
                    pass

        other = threading.Thread(target=pump, args=(upstream, self.connection), daemon=True)
        other.start()
        pump(self.connection, upstream)
        other.join()
        upstream.close()


CERTIFICATE_CONFIG = """
[req]
distinguished_name = name
[name]
[authority]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign
subjectKeyIdentifier = hash
[local]
basicConstraints = CA:false
subjectAltName = IP:127.0.0.1, DNS:localhost
[elsewhere]
basicConstraints = CA:false
subjectAltName = DNS:other.example
"""


def openssl(*args):
    subprocess.run(["openssl", *args], check=True, capture_output=True)


def make_certificates(folder):
    """The authority's file, and (certificate, key) by server name."""
    config = os.path.join(folder, "certificates.cnf")
    with open(config, "w") as out:
        out.write(CERTIFICATE_CONFIG)

    def at(name, kind):
        return os.path.join(folder, name + kind)

    def request(name, subject, output, *how):
        openssl("req", "-config", config, "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                "-nodes", "-days", "1", "-subj", subject, "-keyout", at(name, ".key"),
                "-out", output, *how)

    def self_signed(name, subject, extensions):
        request(name, subject, at(name, ".pem"), "-x509", "-extensions", extensions)
        return at(name, ".pem"), at(name, ".key")

    def signed(name, subject, extensions, serial):
        request(name, subject, at(name, ".csr"), "-new")
        openssl("x509", "-req", "-in", at(name, ".csr"), "-CA", at("ca", ".pem"),
                "-CAkey", at("ca", ".key"), "-set_serial", str(serial), "-days", "1",
                "-extfile", config, "-extensions", extensions, "-out", at(name, ".pem"))
        return at(name, ".pem"), at(name, ".key")

    authority, _ = self_signed("ca", "/CN=Pavo test authority", "authority")
    return authority, {
        "https": signed("https", "/CN=127.0.0.1", "local", 1),
        "https-self-signed": self_signed("https-self-signed", "/CN=127.0.0.1", "local"),
        "https-other-host": signed("https-other-host", "/CN=other.example", "elsewhere", 2),
    }


def secure(cert, key):
    server = ThreadingHTTPServer(("127.0.0.1", 0), Pages)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    return server


def serve(server):
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def main():
    ThreadingHTTPServer.daemon_threads = True
    ThreadingTCPServer.daemon_threads = True
    ThreadingTCPServer.allow_reuse_address = True
    authority, certificates = make_certificates(sys.argv[1])
    ports = {"http": serve(ThreadingHTTPServer(("127.0.0.1", 0), Pages))}
    for name, (cert, key) in certificates.items():
        ports[name] = serve(secure(cert, key))
    Tunnel.target = ports["https"]
    ports["proxy"] = serve(ThreadingTCPServer(("127.0.0.1", 0), Tunnel))
    closed = socket.socket()
    closed.bind(("127.0.0.1", 0))
    ports["closed"] = closed.getsockname()[1]
    closed.close()
    print(json.dumps({**ports, "ca": authority}), flush=True)
    sys.stdin.read()


if __name__ == "__main__":
    main()
