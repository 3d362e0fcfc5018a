#!/usr/bin/python3
"""The one scripted web server of the tests and the benchmark: plain or TLS, each path answered
as scripted (status, headers, body or exact bytes, a delay, a drip, a cut or reset connection,
no Content-Length, an answer held until the test lets it go), with a log of every request.

In a Python test:

    with ScriptedServer() as server:          # port 0: any free port, then server.port
        server.answers["/a.txt"] = Answer(b"text", delay=0.5)
        ...                                   # server.requests, server.connections

From a program under Wine (the Windows unit tests, the benchmark), run this file: it serves
scripted servers to whoever connects to its control port (see _Control) and prints
"ready CONTROL_PORT". --background starts it detached and returns once it is ready, for a
CTest fixture; --stop ends it. It ends by itself after --lifetime seconds in any case.
"""

import argparse
import contextlib
import dataclasses
import http.server
import secrets
import select
import socket
import socketserver
import ssl
import struct
import subprocess
import sys
import threading
import time
from pathlib import Path
from typing import Callable, Optional

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "scripts"))
import port_lock  # noqa: E402

SOFTWARE_PATH = "/download/KVAT_Software/KVAT_Software_Version.txt"
USB_PATH = "/download/KVAT_Software/KVAT_USB_Version.txt"

# The leading text of the two version files is never read; only the length and the tail count.
SOFTWARE_PREFIX = "KVAT_Software_Version="  # 22 characters
USB_PREFIX = "KVAT_USB_Version="  # 17 characters


def software_file(version: str) -> bytes:
    """A software version file of 26 characters ending in a 4-character version."""
    assert len(version) == 4
    return (SOFTWARE_PREFIX + version).encode("ascii")


def usb_file(version: str) -> bytes:
    """A USB driver version file of 24 characters ending in a 7-character version."""
    assert len(version) == 7
    return (USB_PREFIX + version).encode("ascii")


@dataclasses.dataclass
class Answer:
    body: bytes = b""
    status: int = 200
    headers: list[str] = dataclasses.field(default_factory=list)  # extra lines, "Name: value"
    delay: float = 0.0  # seconds before anything is sent
    gate: Optional[threading.Event] = None  # held until set (bounded by gate_timeout)
    gate_timeout: float = 30.0
    size: Optional[int] = None  # instead of `body`: this many "x", made while sending
    drip: float = 0.0  # seconds between pieces of the body, `piece` bytes each
    piece: int = 1
    cut_after: Optional[int] = None  # send only this many body bytes, then drop the connection
    reset: bool = True  # a cut connection is reset, as a failing network would; else closed
    content_length: bool = True  # without it the body ends where the connection does
    raw: Optional[bytes] = None  # these exact bytes instead of an answer, then a close

    def held(self) -> "Answer":
        """This answer, held back until the test sets its gate."""
        return dataclasses.replace(self, gate=threading.Event())


def redirect(location: str, status: int = 302, body: bytes = b"") -> Answer:
    return Answer(body, status, [f"Location: {location}"])


NOT_FOUND = Answer(b"Not Found", status=404)


@dataclasses.dataclass
class Request:
    path: str
    received: float  # Unix time the request line was read
    connection: int = 0  # the client's port: requests on one connection share it
    method: str = "GET"
    headers: Optional[object] = None  # the request's http.client.HTTPMessage
    answered: Optional[float] = None  # Unix time the answer began to go out
    left: Optional[float] = None  # Unix time the client went away during a delay or drip


class _Handler(http.server.BaseHTTPRequestHandler):
    server: "ScriptedServer"
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True  # small answers go out at once, not after a delayed ACK
    timeout = 30  # an idle kept-alive connection is let go in the end

    def do_GET(self) -> None:  # noqa: N802 (the base class names it)
        request = self.server.log(Request(self.path, time.time(), self.client_address[1],
                                          self.command, self.headers))
        answer = self.server.answers.get(self.path, NOT_FOUND)
        self.close_connection = True
        if answer.gate is not None:
            answer.gate.wait(answer.gate_timeout)
        if not self._pause(answer.delay, request):
            return
        request.answered = time.time()
        if answer.raw is not None:
            self._send(answer.raw)
            return
        size = len(answer.body) if answer.size is None else answer.size
        to_send = size if answer.cut_after is None else min(answer.cut_after, size)
        whole = to_send == size and answer.content_length
        self.close_connection = not (whole and self.server.keep_alive)
        lines = [f"HTTP/1.1 {answer.status} {self.responses.get(answer.status, ('Status',))[0]}",
                 "Content-Type: text/plain", *answer.headers]
        lines += [f"Content-Length: {size}"] if answer.content_length else []
        lines += ["Connection: close"] if self.close_connection else []
        head = ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1")
        if answer.size is None and not answer.drip:
            self._send(head + answer.body[:to_send])  # one write: headers and body leave together
        elif self._send(head):
            filler = b"x" * min(answer.piece, to_send) if answer.size is not None else b""
            for start in range(0, to_send, answer.piece):
                end = min(start + answer.piece, to_send)
                piece = filler[:end - start] if answer.size is not None else answer.body[start:end]
                if not self._send(piece) or (end < to_send and not self._pause(answer.drip,
                                                                                 request)):
                    break
        if answer.cut_after is not None and answer.reset:
            self.server.reset_on_close(self.connection)

    def _send(self, data: bytes) -> bool:
        try:
            self.wfile.write(data)
            return True
        except OSError:
            return False  # the client may stop reading a huge answer

    def _pause(self, seconds: float, request: Request) -> bool:
        """Waits, watching the connection: False when the client leaves or the server stops."""
        end = time.monotonic() + seconds
        while (left := end - time.monotonic()) > 0:
            if self.server.stopping.is_set():
                return False
            if select.select([self.connection], [], [], min(left, 0.05))[0]:
                try:
                    data = self.connection.recv(512)
                except OSError:
                    data = b""
                if not data:
                    request.left = time.time()
                    return False
        return True

    def log_message(self, format: str, *args) -> None:  # noqa: A002
        pass  # the server keeps its own log


class ScriptedServer(http.server.ThreadingHTTPServer):
    """Answers GETs on 127.0.0.1:port from `answers` (path: Answer), 404 for other paths. With
    `tls` it speaks HTTPS; with `keep_alive` a whole answer leaves the connection open. With
    `plain_http_400` a TLS server answers a plain-http request with 400, as nginx does."""

    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port: int = 0, tls: Optional[ssl.SSLContext] = None,
                 keep_alive: bool = False, plain_http_400: bool = False):
        super().__init__(("127.0.0.1", port), _Handler)
        self.tls = tls
        self.plain_http_400 = plain_http_400
        self.keep_alive = keep_alive
        self.answers: dict[str, Answer] = {}
        self.requests: list[Request] = []
        self.connections = 0  # TCP connections accepted, whatever became of them
        self.stopping = threading.Event()
        self._lock = threading.Condition()
        self._resets: set = set()
        self._thread = threading.Thread(target=self.serve_forever, kwargs={"poll_interval": 0.05},
                                        daemon=True)

    @property
    def port(self) -> int:
        return self.server_address[1]

    def url(self, path: str, host: str = "localhost") -> str:
        return f"{'https' if self.tls else 'http'}://{host}:{self.port}{path}"

    def __enter__(self) -> "ScriptedServer":
        self._thread.start()
        return self

    def __exit__(self, *exc) -> None:
        # Delays and drips end at once, held answers go: no connection outlives the server long.
        self.stopping.set()
        for answer in list(self.answers.values()):
            if answer.gate is not None:
                answer.gate.set()
        self.shutdown()
        self.server_close()
        self._thread.join(5)

    def script(self, software: Optional[Answer], usb: Optional[Answer]) -> None:
        """What the two version files answer from now on (None: 404)."""
        for path, answer in ((SOFTWARE_PATH, software), (USB_PATH, usb)):
            if answer is None:
                self.answers.pop(path, None)
            else:
                self.answers[path] = answer

    def log(self, request: Request) -> Request:
        with self._lock:
            self.requests.append(request)
            self._lock.notify_all()
        return request

    def clear(self) -> None:
        """Forgets the requests and connections so far."""
        with self._lock:
            self.requests.clear()
            self.connections = 0

    def paths(self) -> list[str]:
        with self._lock:
            return [r.path for r in self.requests]

    def wait_for(self, predicate: Callable[[list[Request]], bool], timeout: float) -> bool:
        with self._lock:
            return self._lock.wait_for(lambda: predicate(self.requests), timeout)

    def wait_for_count(self, count: int, timeout: float) -> bool:
        return self.wait_for(lambda requests: len(requests) >= count, timeout)

    def reset_on_close(self, connection: socket.socket) -> None:
        with self._lock:
            self._resets.add(connection)

    def get_request(self):
        accepted = super().get_request()
        with self._lock:
            self.connections += 1
        return accepted

    def finish_request(self, request, client_address) -> None:
        if self.tls is None:
            super().finish_request(request, client_address)
            return
        # The handshake runs on the connection's own thread; a client that refuses the
        # certificate ends it here.
        request.settimeout(_Handler.timeout)
        try:
            # A TLS connection starts with a handshake record (0x16); anything else is plain.
            if self.plain_http_400 and request.recv(1, socket.MSG_PEEK) != b"\x16":
                # Read first, as nginx does: a close with the request still unread is a reset,
                # which can reach the client before the answer and make it lose the answer.
                _read_head(request)
                request.sendall(b"HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n"
                                b"Connection: close\r\n\r\n")
                return
            secure = self.tls.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError):
            return
        try:
            super().finish_request(secure, client_address)
        finally:
            # The handler marked the TLS socket, which took the connection over from `request`.
            if self._take_reset(secure):
                _linger_zero(secure)
            secure.close()

    def shutdown_request(self, request) -> None:
        if not self._take_reset(request):
            super().shutdown_request(request)
            return
        _linger_zero(request)
        request.close()

    def _take_reset(self, connection: socket.socket) -> bool:
        with self._lock:
            reset = connection in self._resets
            self._resets.discard(connection)
        return reset


def _read_head(connection: socket.socket) -> None:
    """Reads a request's head, up to its blank line (or the connection's end)."""
    head = b""
    while b"\r\n\r\n" not in head:
        data = connection.recv(4096)
        if not data:
            return
        head += data


def _linger_zero(connection: socket.socket) -> None:
    """A zero linger time turns the close into a reset; no FIN goes first."""
    connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))


class Authority:
    """A throwaway root certificate and key made with openssl in `folder`, able to issue server
    certificates."""

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


# Answer fields a control line may set, and how each is read.
_FIELDS = {"status": int, "size": int, "piece": int, "cut_after": int, "delay": float,
           "drip": float, "reset": lambda v: v == "1", "content_length": lambda v: v == "1",
           "body": bytes.fromhex, "raw": bytes.fromhex}


class _Control(socketserver.StreamRequestHandler):
    """One connection of the control port, a line a command, a line a reply ("error TEXT" when
    a command fails). The connection may own one server, which goes when the connection does.

        serve PORT                      ok PORT            a server on PORT (0: any free port)
        answer PATH NAME=VALUE...       ok                 PATH's answer from now on: an Answer's
            fields, bytes in hex; "header=HEX" adds a header line
        log                             ok N               then a line a request:
            AGE LEFT METHOD PATH NAME:HEX...   microseconds since it came and since the client
            left (-1: never), then its headers, names in lower case, values in hex
        close                           ok                 once the port is free again
        quit                            ok                 and the whole program ends
    """

    def handle(self) -> None:
        self.owned: Optional[ScriptedServer] = None
        try:
            for line in self.rfile:
                try:
                    reply = self._command(*line.decode("ascii").split())
                except Exception as error:  # noqa: BLE001 (the client hears of any failure)
                    reply = f"error {error}".replace("\n", " ")
                self.wfile.write(reply.encode("ascii") + b"\n")
        finally:
            self._close()

    def _command(self, command: str, *words: str) -> str:
        if command == "serve":
            self._close()
            self.owned = ScriptedServer(int(words[0])).__enter__()
            return f"ok {self.owned.port}"
        if command == "answer":
            answer = Answer()
            for word in words[1:]:
                name, _, value = word.partition("=")
                if name == "header":
                    answer.headers.append(bytes.fromhex(value).decode("latin-1"))
                else:
                    setattr(answer, name, _FIELDS[name](value))
            self.owned.answers[words[0]] = answer
            return "ok"
        if command == "log":
            now = time.time()
            age = lambda t: -1 if t is None else round((now - t) * 1e6)  # noqa: E731
            lines = [" ".join([str(age(r.received)), str(age(r.left)), r.method, r.path] +
                              [f"{k.lower()}:{v.encode('latin-1').hex()}" for k, v in
                               r.headers.items()]) for r in list(self.owned.requests)]
            return "\n".join([f"ok {len(lines)}", *lines])
        if command == "close":
            self._close()
            return "ok"
        if command == "quit":
            threading.Thread(target=self.server.shutdown, daemon=True).start()
            return "ok"
        raise ValueError(f"unknown command {command}")

    def _close(self) -> None:
        if self.owned is not None:
            self.owned.__exit__()
            self.owned = None


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--lifetime", type=float, default=3 * 3600,
                        help="seconds after which the program ends by itself")
    parser.add_argument("--port-file", type=Path, help="where to write the control port")
    parser.add_argument("--hold-port", nargs=2, metavar=("PORT", "SETTING"),
                        help="hold this port's machine-wide lock (scripts/port_lock.py) "
                             "meanwhile; SETTING names the CMake variable that chose it")
    parser.add_argument("--background", action="store_true",
                        help="start detached, its errors in PORT_FILE.log; return once ready")
    parser.add_argument("--stop", type=Path, metavar="PORT_FILE",
                        help="end the one whose control port this file holds")
    options = parser.parse_args()
    if options.background and not options.port_file:
        parser.error("--background needs --port-file, where --stop finds it")
    if options.stop:
        with contextlib.suppress(OSError):  # no file, or the program has already ended
            with socket.create_connection(("127.0.0.1", int(options.stop.read_text())), 10) as c:
                c.sendall(b"quit\n")
                c.recv(16)
        options.stop.unlink(missing_ok=True)
        return 0
    if options.background:
        # Nothing of the caller's is inherited: CTest waits for whoever holds its output.
        arguments = [a for a in sys.argv[1:] if a != "--background"]
        with open(f"{options.port_file}.log", "wb") as log:
            child = subprocess.Popen([sys.executable, __file__, *arguments],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=log,
                                     start_new_session=True)
        ready = child.stdout.readline().decode()
        print(ready, end="")
        return 0 if ready.startswith("ready ") else 1
    try:
        with port_lock.exclusive_port(int(options.hold_port[0]), options.hold_port[1]) \
                if options.hold_port else contextlib.nullcontext():
            control = socketserver.ThreadingTCPServer(("127.0.0.1", 0), _Control)
            control.daemon_threads = True
            lifetime = threading.Timer(options.lifetime, control.shutdown)
            lifetime.daemon = True
            lifetime.start()
            if options.port_file:
                options.port_file.write_text(str(control.server_address[1]))
            print("ready", control.server_address[1], flush=True)
            control.serve_forever(poll_interval=0.2)
    except port_lock.PortUnavailable as error:
        print(error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
