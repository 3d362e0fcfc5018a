#!/usr/bin/python3
"""The vendor's web server as the start-up benchmark plays it.

It answers the launcher's two version files at once: the whole answer in one send, Nagle's
algorithm off. It runs natively, beside Wine rather than inside it, so that serving costs the
measured launcher nothing.

The benchmark driver decides, run by run, whether the server listens: over a control connection
it sends "listen" (reply "ok") before a run with a server, and "close" (reply "answered S U", the
numbers of software and USB version files answered since "listen") after it. Between the two
the port is free, so the launcher meets a refused connection.

    version_server.py --port PORT

The launcher under test has PORT compiled in, so the server holds that port's machine-wide lock
(scripts/port_lock.py) for as long as it runs; another benchmark run waits its turn. The control
port is any free one: the server prints "ready CONTROL_PORT" once it accepts connections there.
"""
import argparse
import select
import socket
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "scripts"))
import port_lock  # noqa: E402

SOFTWARE_PATH = b"/download/KVAT_Software/KVAT_Software_Version.txt"
USB_PATH = b"/download/KVAT_Software/KVAT_USB_Version.txt"
# Answers of the lengths the launcher accepts (26 and 24 characters).
ANSWERS = {
    SOFTWARE_PATH: b"KVAT Software Version:19.5",
    USB_PATH: b"KVAT USB Driver: 2.12.28",
}
REQUEST_TIMEOUT_S = 2


def listening_socket(port):
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    # The port is taken again for every run; connections of the run before may still linger.
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind(("127.0.0.1", port))
    sock.listen(16)
    return sock


def response(path):
    body = ANSWERS.get(path)
    if body is None:
        return b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"
    return (b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n"
            b"Connection: close\r\n\r\n%s" % (len(body), body))


def answer(connection, counts):
    """Reads one request and answers it; returns the path asked for."""
    connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    connection.settimeout(REQUEST_TIMEOUT_S)
    request = b""
    try:
        while b"\r\n\r\n" not in request and len(request) < 16384:
            chunk = connection.recv(4096)
            if not chunk:
                return
            request += chunk
        parts = request.split(b" ", 2)
        path = parts[1] if len(parts) == 3 else b""
        connection.sendall(response(path))
        if path in counts:
            counts[path] += 1
        connection.shutdown(socket.SHUT_WR)
    except OSError:
        pass
    finally:
        connection.close()


def serve(port):
    control_listener = listening_socket(0)
    print("ready", control_listener.getsockname()[1], flush=True)
    control, _ = control_listener.accept()
    control_listener.close()
    control_file = control.makefile("rwb", buffering=0)
    listener = None
    counts = {}
    while True:
        readable, _, _ = select.select([control] + ([listener] if listener else []), [], [])
        if listener in readable:
            connection, _ = listener.accept()
            answer(connection, counts)
        if control in readable:
            command = control_file.readline().strip()
            if command == b"listen" and listener is None:
                listener = listening_socket(port)
                counts = {path: 0 for path in ANSWERS}
                control_file.write(b"ok\n")
            elif command == b"close" and listener is not None:
                listener.close()
                listener = None
                control_file.write(b"answered %d %d\n" % (counts[SOFTWARE_PATH], counts[USB_PATH]))
            elif command == b"":
                return  # the driver has gone
            else:
                control_file.write(b"error " + command + b"\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, required=True)
    options = parser.parse_args()
    try:
        with port_lock.exclusive_port(options.port, "KVAT_BENCH_PORT"):
            serve(options.port)
    except port_lock.PortUnavailable as error:
        sys.exit(str(error))


if __name__ == "__main__":
    main()
