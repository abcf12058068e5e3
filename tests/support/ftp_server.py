#!/usr/bin/python3
"""Plain FTP server for Kalvor's integration tests (pyftpdlib).

Serves one folder to the user "tester" (password "secret") on 127.0.0.1, on a port the system picks,
and prints "PORT <n>" once it accepts connections. SIGTERM stops it.

Besides the ordinary server it can:
  --log FILE                append one line per command received, "VERB arg", flushed at once. A LIST
                            is logged with the absolute folder it lists and a trailing "/", because
                            curl changes into the folder first and sends LIST without an argument.
  --raw-listing DIR=FILE    answer LIST of folder DIR with the bytes of FILE, read at the time of the
                            LIST (the folder must exist, since the client changes into it first).
  --slow-seconds S          LIST of a folder whose path contains "__slow__" answers after S seconds.
  A path containing "__denied__" has STOR, RNTO, DELE, RMD and MKD refused with 550.

Faults on purpose (the process dies by SIGKILL, as a crash would leave things; the command log is flushed):
  --hang-pattern TEXT       LIST of a folder whose path contains TEXT opens the transfer ("125"/"150") and
                            then sends nothing, ever: the client waits on an open data connection. Only
                            stopping the server ends it.
  --die-on VERB:N           the process dies when the Nth VERB command arrives (counted across sessions),
                            after logging it and before acting on it.
  --die-after-bytes N       the process dies once a STOR has received at least N bytes.
  --stall-listing TEXT:N    LIST of a folder whose path contains TEXT sends the first N bytes of its
                            listing, then nothing, ever (the data connection stays open).
  --throttle-receive BPS    STOR receives at most BPS bytes a second.
  --throttle-send BPS       RETR sends at most BPS bytes a second.
  --refuse-rename TEXT      RNTO of a path containing TEXT is refused with 550.
  --endless TEXT            every folder whose path contains TEXT holds one folder, "sub", without end:
                            such folders need not exist on disk.

Run it with Debian's interpreter (/usr/bin/python3), which has pyftpdlib.
"""

import argparse
import ctypes
import logging
import os
import signal
import socket
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import ThreadedFTPServer

USER = "tester"
PASSWORD = "secret"


def die_with_parent():
    """Ask the kernel for SIGTERM when the test that started us dies without stopping us."""
    try:
        libc = ctypes.CDLL("libc.so.6", use_errno=True)
        pr_set_pdeathsig = 1
        libc.prctl(pr_set_pdeathsig, signal.SIGTERM)
    except OSError:
        pass


def virtual_folder(path):
    """Canonical key of a served folder: absolute, no trailing "/" except for the root."""
    path = "/" + path.strip("/")
    return path


class CommandLog:
    def __init__(self, path):
        self._file = open(path, "a", encoding="utf-8") if path else None
        self._lock = threading.Lock()

    def write(self, line):
        if self._file is None:
            return
        # Keep one command per line even if a client smuggles a bare LF into an argument.
        line = line.replace("\r", "\\r").replace("\n", "\\n")
        with self._lock:
            self._file.write(line + "\n")
            self._file.flush()


def die_now():
    """End the whole server at once, without closing anything first."""
    os.kill(os.getpid(), signal.SIGKILL)


class Faults:
    """The fault-injection settings, shared by every session thread."""

    hang_pattern = None
    stall_pattern = None
    stall_bytes = 0
    refuse_rename = None
    endless = None
    die_verb = None
    die_count = 0
    die_after_bytes = 0
    _seen = 0
    _lock = threading.Lock()

    @classmethod
    def command_arrived(cls, verb):
        if cls.die_verb is None or verb != cls.die_verb:
            return
        with cls._lock:
            cls._seen += 1
            if cls._seen >= cls.die_count:
                die_now()


class DyingFile:
    """A file being stored that ends the server once enough bytes of it have arrived."""

    def __init__(self, inner, limit):
        self._inner = inner
        self._limit = limit
        self._received = 0

    def write(self, data):
        self._received += len(data)
        result = self._inner.write(data)
        if self._received >= self._limit:
            self._inner.flush()
            die_now()
        return result

    def __getattr__(self, name):
        return getattr(self._inner, name)


class StallingProducer:
    """Gives the first bytes of a listing, then holds the data connection open without sending more."""

    def __init__(self, data):
        self._data = data
        self._sent = False

    def more(self):
        if not self._sent:
            self._sent = True
            return self._data
        time.sleep(3600)
        return b""


class SteadyReceiver(ThrottledDTPHandler):
    """Receives (or sends) at a steady rate: a short pause after every chunk (pyftpdlib's own throttle takes a
    second's worth at once, then sleeps), and a small socket buffer, so the other side's progress moves
    smoothly."""

    def __init__(self, sock, cmd_channel):
        ThrottledDTPHandler.__init__(self, sock, cmd_channel)
        self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 65536)

    def _throttle_bandwidth(self, len_chunk, max_speed):
        sleepfor = float(len_chunk) / max_speed
        if sleepfor <= 0.001:
            return

        def unsleep():
            self.add_channel(events=self.ioloop.READ if self.receive else self.ioloop.WRITE)

        self.del_channel()
        self._cancel_throttler()
        self._throttler = self.ioloop.call_later(sleepfor, unsleep, _errback=self.handle_error)


class TestFS(AbstractedFS):
    def chdir(self, path):
        if Faults.endless and Faults.endless in self.fs2ftp(path) and not os.path.isdir(path):
            self.cwd = self.fs2ftp(path)
            return
        AbstractedFS.chdir(self, path)

    def open(self, filename, mode):
        handle = AbstractedFS.open(self, filename, mode)
        if Faults.die_after_bytes > 0 and "w" in mode:
            return DyingFile(handle, Faults.die_after_bytes)
        return handle


class TestHandler(FTPHandler):
    abstracted_fs = TestFS
    command_log = CommandLog(None)
    raw_listings = {}
    slow_seconds = 3.0
    banner = "Kalvor test server ready."
    # A wrong password is answered at once rather than after pyftpdlib's 3 s penalty.
    auth_failed_timeout = 0

    def pre_process_command(self, line, cmd, arg):
        if cmd == "PASS":
            entry = "PASS ******"
        elif cmd == "LIST" and self.authenticated:
            target = self.fs.cwd if arg.lower() in ("", "-a", "-l", "-al", "-la") else arg
            folder = self.fs.fs2ftp(self.fs.ftp2fs(target))
            entry = "%s %s" % (cmd, folder if folder.endswith("/") else folder + "/")
        else:
            entry = line
        self.command_log.write(entry)
        Faults.command_arrived(cmd)
        FTPHandler.pre_process_command(self, line, cmd, arg)

    def ftp_LIST(self, path):
        folder = virtual_folder(self.fs.fs2ftp(path))
        if "__slow__" in folder:
            # Each connection has its own thread, so this holds up only this client.
            time.sleep(self.slow_seconds)
        if Faults.hang_pattern and Faults.hang_pattern in folder:
            # Announce the transfer like any listing, then never send a byte nor close anything.
            if self.data_channel is not None:
                self.respond("125 Data connection already open. Transfer starting.")
            else:
                self.respond("150 File status okay. About to open data connection.")
            return path
        if Faults.endless and Faults.endless in folder:
            self.push_dtp_data(b"drwxr-xr-x   2 u  g  4096 Jan 01  2020 sub\r\n", isproducer=False, cmd="LIST")
            return path
        if Faults.stall_pattern and Faults.stall_pattern in folder:
            listing = b"".join(self.fs.format_list(path, sorted(os.listdir(path))))
            self.push_dtp_data(StallingProducer(listing[: Faults.stall_bytes]), isproducer=True, cmd="LIST")
            return path
        canned = self.raw_listings.get(folder)
        if canned is not None:
            try:
                with open(canned, "rb") as source:
                    data = source.read()
            except OSError as err:
                self.respond("550 %s." % err.strerror)
                return None
            self.push_dtp_data(data, isproducer=False, cmd="LIST")
            return path
        return FTPHandler.ftp_LIST(self, path)

    def _denied(self, path):
        if "__denied__" in path:
            self.respond("550 Permission denied.")
            return True
        return False

    def ftp_STOR(self, file, mode="w"):
        if self._denied(file):
            return None
        return FTPHandler.ftp_STOR(self, file, mode)

    def ftp_RNTO(self, path):
        if self._denied(path):
            return None
        if Faults.refuse_rename and Faults.refuse_rename in path:
            self.respond("550 Renaming onto this name is not allowed.")
            return None
        return FTPHandler.ftp_RNTO(self, path)

    def ftp_DELE(self, path):
        if self._denied(path):
            return None
        return FTPHandler.ftp_DELE(self, path)

    def ftp_RMD(self, path):
        if self._denied(path):
            return None
        return FTPHandler.ftp_RMD(self, path)

    def ftp_MKD(self, path):
        if self._denied(path):
            return None
        return FTPHandler.ftp_MKD(self, path)


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    parser.add_argument("--root", required=True, help="folder to serve")
    parser.add_argument("--log", help="file that receives one line per command")
    parser.add_argument("--raw-listing", action="append", default=[], metavar="DIR=FILE")
    parser.add_argument("--slow-seconds", type=float, default=3.0)
    parser.add_argument("--hang-pattern", default=None)
    parser.add_argument("--die-on", default=None, metavar="VERB:N")
    parser.add_argument("--die-after-bytes", type=int, default=0)
    parser.add_argument("--stall-listing", default=None, metavar="TEXT:N")
    parser.add_argument("--throttle-receive", type=int, default=0)
    parser.add_argument("--throttle-send", type=int, default=0)
    parser.add_argument("--refuse-rename", default=None)
    parser.add_argument("--endless", default=None)
    return parser.parse_args()


def main():
    die_with_parent()
    args = parse_arguments()
    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)

    root = os.path.realpath(args.root)
    if not os.path.isdir(root):
        print("ERROR root %s is not a folder" % root, flush=True)
        return 2

    raw_listings = {}
    for item in args.raw_listing:
        folder, sep, source = item.partition("=")
        if not sep or not source:
            print("ERROR --raw-listing wants DIR=FILE, got %r" % item, flush=True)
            return 2
        raw_listings[virtual_folder(folder)] = os.path.abspath(source)

    if args.die_on:
        verb, sep, count = args.die_on.partition(":")
        if not verb or (sep and not count.isdigit()):
            print("ERROR --die-on wants VERB:N, got %r" % args.die_on, flush=True)
            return 2
        Faults.die_verb = verb.upper()
        Faults.die_count = int(count) if sep else 1
    Faults.hang_pattern = args.hang_pattern
    Faults.die_after_bytes = args.die_after_bytes
    Faults.refuse_rename = args.refuse_rename
    Faults.endless = args.endless
    if args.stall_listing:
        pattern, _sep, count = args.stall_listing.rpartition(":")
        Faults.stall_pattern = pattern
        Faults.stall_bytes = int(count)
    if args.throttle_receive > 0:
        SteadyReceiver.read_limit = args.throttle_receive
        TestHandler.dtp_handler = SteadyReceiver
    if args.throttle_send > 0:
        SteadyReceiver.write_limit = args.throttle_send
        TestHandler.dtp_handler = SteadyReceiver

    authorizer = DummyAuthorizer()
    authorizer.add_user(USER, PASSWORD, root, perm="elradfmwMT")

    TestHandler.authorizer = authorizer
    TestHandler.command_log = CommandLog(args.log)
    TestHandler.raw_listings = raw_listings
    TestHandler.slow_seconds = args.slow_seconds
    TestHandler.passive_ports = None

    server = ThreadedFTPServer(("127.0.0.1", 0), TestHandler)
    server.join_timeout = 2

    def stop(_signum, _frame):
        raise SystemExit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever(timeout=0.5)
    # A thread stuck in a slow listing must not keep the process alive.
    os._exit(0)


if __name__ == "__main__":
    sys.exit(main())
