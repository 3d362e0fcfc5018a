"""The vendor's web server as the sessions need it: each session scripts the answers (content,
status, delay, size, a cut-off connection, an answer held until the test lets it go) and reads
back the log of every request with the times it came in and was answered."""

import dataclasses
import http.server
import socket
import struct
import threading
import time
from typing import Callable, Optional

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
    delay: float = 0.0  # seconds before anything is sent
    gate: Optional[threading.Event] = None  # held until set (bounded by gate_timeout)
    gate_timeout: float = 30.0
    cut_after: Optional[int] = None  # send only this many body bytes, then drop the connection

    def held(self) -> "Answer":
        """This answer, held back until the test sets its gate."""
        return dataclasses.replace(self, gate=threading.Event())


@dataclasses.dataclass
class Request:
    path: str
    received: float  # Unix time the request line was read
    answered: Optional[float] = None  # Unix time the answer began to go out


class _Handler(http.server.BaseHTTPRequestHandler):
    server: "ScriptedServer"
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True  # small answers go out at once, not after a delayed ACK

    def do_GET(self) -> None:  # noqa: N802 (the base class names it)
        request = self.server.log_request_line(self.path)
        answer = self.server.answer_for(self.path)
        if answer.gate is not None:
            answer.gate.wait(answer.gate_timeout)
        if answer.delay:
            time.sleep(answer.delay)
        body = answer.body
        head = (
            f"HTTP/1.1 {answer.status} {self.responses.get(answer.status, ('',))[0]}\r\n"
            f"Content-Type: text/plain\r\n"
            f"Content-Length: {len(body)}\r\n"
            f"Cache-Control: no-store\r\n"
            f"Connection: close\r\n\r\n"
        ).encode("ascii")
        if answer.cut_after is not None:
            body = body[: answer.cut_after]
        request.answered = time.time()
        try:
            # One write: headers and body leave together.
            self.wfile.write(head + body)
        except OSError:
            pass  # the launcher may stop reading a huge answer
        self.close_connection = True
        if answer.cut_after is not None:
            # Drop the connection without a clean close, as a failing network would.
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))

    def log_message(self, format: str, *args) -> None:  # noqa: A002
        pass  # the server keeps its own log


class ScriptedServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port: int):
        super().__init__(("127.0.0.1", port), _Handler)
        self.answers: dict[str, Answer] = {}
        self.requests: list[Request] = []
        self._lock = threading.Condition()
        self._thread = threading.Thread(target=self.serve_forever, kwargs={"poll_interval": 0.05},
                                        daemon=True)

    def __enter__(self) -> "ScriptedServer":
        self._thread.start()
        return self

    def __exit__(self, *exc) -> None:
        # Let any held answer go, so no handler thread outlives the session by long.
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

    def answer_for(self, path: str) -> Answer:
        return self.answers.get(path, Answer(b"Not Found", status=404))

    def log_request_line(self, path: str) -> Request:
        request = Request(path, time.time())
        with self._lock:
            self.requests.append(request)
            self._lock.notify_all()
        return request

    def paths(self) -> list[str]:
        with self._lock:
            return [r.path for r in self.requests]

    def wait_for(self, predicate: Callable[[list[Request]], bool], timeout: float) -> bool:
        with self._lock:
            return self._lock.wait_for(lambda: predicate(self.requests), timeout)

    def wait_for_count(self, count: int, timeout: float) -> bool:
        return self.wait_for(lambda requests: len(requests) >= count, timeout)
