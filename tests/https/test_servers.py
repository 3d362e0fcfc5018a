"""What the HTTPS tests run on Linux: a throwaway certificate authority made with openssl, and
small HTTP and HTTPS servers that answer from a table and count the connections they accept."""

import http.server
import secrets
import ssl
import subprocess
import threading
from pathlib import Path
from typing import Optional


class Authority:
    """A root certificate and key in `folder`, able to issue server certificates."""

    def __init__(self, openssl: str, folder: Path, name: str):
        self._openssl = openssl
        self.folder = folder
        self.key = folder / f"{name}.key"
        self.certificate = folder / f"{name}.pem"
        self._run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                  "-keyout", self.key, "-out", self.certificate, "-subj", f"/CN={name}",
                  "-addext", "basicConstraints=critical,CA:TRUE",
                  "-addext", "keyUsage=critical,keyCertSign,cRLSign")

    def issue(self, file_name: str, dns_name: str) -> ssl.SSLContext:
        """A server context whose certificate, signed here, names `dns_name`."""
        key = self.folder / f"{file_name}.key"
        request = self.folder / f"{file_name}.csr"
        certificate = self.folder / f"{file_name}.pem"
        extensions = self.folder / f"{file_name}.ext"
        extensions.write_text(f"subjectAltName=DNS:{dns_name}\n"
                              "basicConstraints=critical,CA:FALSE\n"
                              "keyUsage=critical,digitalSignature,keyEncipherment\n"
                              "extendedKeyUsage=serverAuth\n")
        self._run("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", request,
                  "-subj", f"/CN={dns_name}")
        self._run("x509", "-req", "-in", request, "-CA", self.certificate, "-CAkey", self.key,
                  "-set_serial", f"0x{secrets.token_hex(8)}", "-days", "2",
                  "-extfile", extensions, "-out", certificate)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        # The chain up to the root, as a real server sends it.
        chain = self.folder / f"{file_name}.chain.pem"
        chain.write_bytes(certificate.read_bytes() + self.certificate.read_bytes())
        context.load_cert_chain(chain, key)
        return context

    def _run(self, *args) -> None:
        subprocess.run([self._openssl, *map(str, args)], check=True, capture_output=True)


class _Handler(http.server.BaseHTTPRequestHandler):
    server: "CountingServer"
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True  # small answers go out at once, not after a delayed ACK
    timeout = 30  # an idle kept-alive connection is let go in the end

    def do_GET(self) -> None:  # noqa: N802 (the base class names it)
        status, headers, body = self.server.answer(self.path, self.client_address,
                                                   self.headers.get_all("Authorization", []))
        lines = [f"HTTP/1.1 {status} {self.responses.get(status, ('',))[0]}",
                 f"Content-Length: {len(body)}", "Content-Type: text/plain", *headers]
        if not self.server.keep_alive:
            lines.append("Connection: close")
            self.close_connection = True
        # One write: headers and body leave together.
        self.wfile.write(("\r\n".join(lines) + "\r\n\r\n").encode("ascii") + body)

    def log_message(self, format: str, *args) -> None:  # noqa: A002
        pass  # the server keeps its own log


class CountingServer(http.server.ThreadingHTTPServer):
    """Answers GETs on 127.0.0.1 from `routes` (path: (status, header lines, body)); 404 for the
    rest. With `tls` it speaks HTTPS; without `keep_alive` it closes after every answer. Port 0
    takes any free port."""

    daemon_threads = True

    def __init__(self, tls: Optional[ssl.SSLContext] = None, keep_alive: bool = True,
                 port: int = 0):
        super().__init__(("127.0.0.1", port), _Handler)
        self.tls = tls
        self.keep_alive = keep_alive
        self.routes: dict[str, tuple[int, list[str], bytes]] = {}
        self._lock = threading.Lock()
        self._connections = 0
        self._requests: list[tuple[str, int]] = []  # path and the client's port
        self._authorizations: list[str] = []  # every Authorization header received
        self._thread = threading.Thread(target=self.serve_forever, kwargs={"poll_interval": 0.05},
                                        daemon=True)

    @property
    def port(self) -> int:
        return self.server_address[1]

    def url(self, path: str, host: str = "localhost") -> str:
        return f"{'https' if self.tls else 'http'}://{host}:{self.port}{path}"

    def __enter__(self) -> "CountingServer":
        self._thread.start()
        return self

    def __exit__(self, *exc) -> None:
        self.shutdown()
        self.server_close()
        self._thread.join(5)

    def reset(self) -> None:
        with self._lock:
            self._connections = 0
            self._requests.clear()

    def connections(self) -> int:
        """TCP connections accepted since the last reset, whatever became of them."""
        with self._lock:
            return self._connections

    def requests(self) -> list[tuple[str, int]]:
        with self._lock:
            return list(self._requests)

    def authorizations(self) -> list[str]:
        with self._lock:
            return list(self._authorizations)

    def answer(self, path: str, client: tuple,
               authorizations: list[str]) -> tuple[int, list[str], bytes]:
        with self._lock:
            self._requests.append((path, client[1]))
            self._authorizations.extend(authorizations)
        return self.routes.get(path, (404, [], b"Not Found"))

    def get_request(self):
        connection = super().get_request()
        with self._lock:
            self._connections += 1
        return connection

    def finish_request(self, request, client_address) -> None:
        if self.tls is None:
            super().finish_request(request, client_address)
            return
        # The handshake runs on the connection's own thread; a client that refuses the
        # certificate ends it here.
        request.settimeout(_Handler.timeout)
        try:
            secure = self.tls.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError):
            return
        try:
            super().finish_request(secure, client_address)
        finally:
            secure.close()
