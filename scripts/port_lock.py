"""A machine-wide lock on a loopback TCP port, for test runs whose program under test has the
port compiled in (the end-to-end sessions' launcher, the benchmark's launcher).

Two such runs at once would both serve the port, and each launcher could get the other run's
answers. So a run holds the port's lock from start to end: a second run waits its turn, and a
run that finds the port taken while holding the lock knows that something other than a test run
holds it, and says so.

The lock is a listening Unix socket in the abstract namespace, named after the port. It lives in
the same network namespace as the port it guards, needs no file that another user could own,
and goes away with its process, however that process ends. `ss -xlp | grep kvat-loopback-port`
shows who holds it.
"""

import contextlib
import errno
import socket
import sys
import time
from typing import Iterator

WAIT_LIMIT_S = 20 * 60
POLL_S = 0.5


class PortUnavailable(RuntimeError):
    pass


def lock_name(port: int) -> str:
    return f"kvat-loopback-port-{port}"


def _try_lock(port: int) -> socket.socket | None:
    lock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        lock.bind("\0" + lock_name(port))
        lock.listen(1)
        return lock
    except OSError as error:
        lock.close()
        if error.errno == errno.EADDRINUSE:
            return None
        raise


def _check_free(port: int, setting: str) -> None:
    """Raises PortUnavailable when something listens on 127.0.0.1:port. Connections that are
    closing (TIME_WAIT) do not count: the test servers reuse the address."""
    probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    try:
        probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        probe.bind(("127.0.0.1", port))
        probe.listen(1)
    except OSError as error:
        raise PortUnavailable(
            f"127.0.0.1:{port} is taken by a program that is not a test run of the launcher "
            f"({error.strerror}); `ss -ltnp 'sport = :{port}'` shows which. Stop it, or "
            f"configure another port with -D{setting}=PORT.") from error
    finally:
        probe.close()


@contextlib.contextmanager
def exclusive_port(port: int, setting: str, wait_limit: float = WAIT_LIMIT_S) -> Iterator[None]:
    """Holds the port's lock for the body; waits up to `wait_limit` seconds for another run to
    let it go. `setting` names the CMake cache variable that chooses the port. Raises
    PortUnavailable when the wait is too long or the port is taken by something else."""
    lock = _try_lock(port)
    if lock is None:
        print(f"Another test run is using port {port}; waiting for it to finish.",
              file=sys.stderr, flush=True)
        deadline = time.monotonic() + wait_limit
        while lock is None:
            if time.monotonic() > deadline:
                raise PortUnavailable(
                    f"Another test run held port {port} for more than {wait_limit:.0f} s "
                    f"(`ss -xlp | grep {lock_name(port)}` shows which process).")
            time.sleep(POLL_S)
            lock = _try_lock(port)
    try:
        _check_free(port, setting)
        yield
    finally:
        lock.close()
