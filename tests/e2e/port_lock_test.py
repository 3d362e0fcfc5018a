#!/usr/bin/python3
"""The port lock that keeps two test runs from serving the same compiled-in port."""

import socket
import subprocess
import sys
import time
import unittest
from pathlib import Path

sys.dont_write_bytecode = True
SCRIPTS = Path(__file__).resolve().parents[2] / "scripts"
sys.path.insert(0, str(SCRIPTS))

import port_lock  # noqa: E402

# Holds the lock of the port given as argument until its input ends.
HOLDER = f"""
import sys
sys.path.insert(0, {str(SCRIPTS)!r})
import port_lock
with port_lock.exclusive_port(int(sys.argv[1]), "SETTING"):
    print("held", flush=True)
    sys.stdin.read()
"""


def free_port() -> int:
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class PortLock(unittest.TestCase):
    def test_a_second_run_waits_until_the_first_lets_go(self):
        port = free_port()
        holder = subprocess.Popen([sys.executable, "-c", HOLDER, str(port)],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        try:
            self.assertEqual(holder.stdout.readline(), b"held\n")
            with self.assertRaises(port_lock.PortUnavailable):
                with port_lock.exclusive_port(port, "SETTING", wait_limit=1.0):
                    pass
            release = time.monotonic()
            holder.stdin.close()  # the holder ends, and its lock with it
            with port_lock.exclusive_port(port, "SETTING", wait_limit=30.0):
                self.assertLess(time.monotonic() - release, 10.0)
        finally:
            holder.kill()
            holder.wait()
            holder.stdout.close()

    def test_a_port_taken_by_another_program_is_named(self):
        with socket.socket() as stranger:
            stranger.bind(("127.0.0.1", 0))
            stranger.listen(1)
            port = stranger.getsockname()[1]
            with self.assertRaisesRegex(port_lock.PortUnavailable,
                                        rf"127\.0\.0\.1:{port} .*-DSETTING=PORT"):
                with port_lock.exclusive_port(port, "SETTING"):
                    self.fail("the body ran although the port was taken")
        # The failed attempt left the lock free.
        with port_lock.exclusive_port(port, "SETTING", wait_limit=0.0):
            pass

    def test_closing_connections_do_not_count_as_taken(self):
        port = free_port()
        with socket.socket() as server:
            server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            server.bind(("127.0.0.1", port))
            server.listen(1)
            client = socket.create_connection(("127.0.0.1", port))
            accepted, _ = server.accept()
            accepted.close()  # the server closes first: its side lingers in TIME_WAIT
            client.close()
        with port_lock.exclusive_port(port, "SETTING", wait_limit=0.0):
            pass


if __name__ == "__main__":
    unittest.main()
