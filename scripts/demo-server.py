#!/usr/bin/python3
"""Local FTP server with sample files, for trying Kalvor without a server of one's own.

Fills FOLDER with
  served/      the files the server offers (folders to browse, an empty Uploads folder),
  to-upload/   a few local files to hand to Kalvor,
  config/      a throw-away profile (XDG_CONFIG_HOME) whose kalvor/ folder holds one connection to this
               server and two favorites, in the form Kalvor stores them,
then serves served/ on 127.0.0.1 to the user "demo" (password "demo") and prints "PORT <n>" once it accepts
connections. SIGTERM or SIGINT stops it; so does the end of the process that started it.

Run it with Debian's interpreter (/usr/bin/python3), which has pyftpdlib. scripts/demo.sh drives it.
"""

import argparse
import ctypes
import json
import logging
import os
import signal
import struct
import sys
import time
import uuid
import zlib

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import ThreadedFTPServer

USER = "demo"
PASSWORD = "demo"
DAY = 24 * 60 * 60

WELCOME = """Welcome to the Kalvor demo server.

This server runs on your own machine (127.0.0.1) and goes away when Kalvor quits, together with
everything uploaded to it.

Things to try:
  - Open the folders here; go back up with the arrow.
  - Upload a file from the to-upload folder into Uploads (or into the favorite "Uploads").
  - Create a folder, then delete it again.
"""


def die_with_parent():
    """Ask the kernel for SIGTERM when the script that started us ends without stopping us."""
    try:
        libc = ctypes.CDLL("libc.so.6", use_errno=True)
        pr_set_pdeathsig = 1
        libc.prctl(pr_set_pdeathsig, signal.SIGTERM)
    except OSError:
        pass


def png(width, height, top, bottom):
    """A small valid PNG: a vertical gradient from colour top to colour bottom."""
    rows = []
    for y in range(height):
        t = y / max(height - 1, 1)
        pixel = bytes(round(a + (b - a) * t) for a, b in zip(top, bottom))
        rows.append(b"\x00" + pixel * width)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(b"".join(rows))) + chunk(b"IEND", b""))


def write(root, relative, content, days_ago=0):
    path = os.path.join(root, relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(content.encode("utf-8") if isinstance(content, str) else content)
    if days_ago:
        stamp = time.time() - days_ago * DAY
        os.utime(path, (stamp, stamp))


def fill_served(root):
    write(root, "Welcome.txt", WELCOME)
    write(root, "Documents/Meeting notes.md",
          "# Planning meeting\n\n- Ship the demo\n- Write the release notes\n", days_ago=3)
    write(root, "Documents/Budget 2024.csv",
          "month,income,spending\nJanuary,4200,3900\nFebruary,4100,3650\nMarch,4500,4010\n",
          days_ago=40)
    write(root, "Documents/Archive/2023 summary.txt", "A quiet year.\n", days_ago=400)
    write(root, "Photos/Holiday/Beach.png", png(320, 200, (70, 170, 230), (240, 220, 160)), days_ago=12)
    write(root, "Photos/Holiday/Sunset.png", png(320, 200, (250, 150, 60), (60, 30, 90)), days_ago=12)
    write(root, "Photos/Forest.png", png(200, 200, (40, 120, 60), (20, 60, 30)), days_ago=90)
    for day in range(1, 31):
        write(root, "Logs/server-2024-03-%02d.log" % day,
              "".join("03-%02d %02d:00 request served\n" % (day, hour) for hour in range(day % 24 + 1)),
              days_ago=60 - day)
    os.makedirs(os.path.join(root, "Uploads"), exist_ok=True)


def fill_to_upload(root):
    write(root, "Hello from Kalvor.txt", "Uploaded with Kalvor.\n")
    write(root, "Notes.md", "# Notes\n\nKalvor asks once when files already exist on the server.\n")
    write(root, "Postcard.png", png(300, 180, (200, 80, 120), (250, 200, 120)))
    write(root, "Sample data.bin", os.urandom(3 * 1024 * 1024))


def compact_json(records):
    # The stored form: members in a fixed order, no spaces, UTF-8 as is.
    return json.dumps(records, separators=(",", ":"), ensure_ascii=False)


def write_profile(config_home, port):
    folder = os.path.join(config_home, "kalvor")
    os.makedirs(folder, mode=0o700, exist_ok=True)
    connection_id = str(uuid.uuid4()).upper()
    connections = [{
        "id": connection_id,
        "name": "Kalvor demo server",
        "host": "127.0.0.1",
        "port": port,
        "username": USER,
        "password": PASSWORD,
        "useTLS": False,
    }]
    # Paths as a listing gives them: entries of the root folder carry no leading "/".
    favorites = [
        {"id": str(uuid.uuid4()).upper(), "connectionId": connection_id, "name": "Uploads",
         "remotePath": "Uploads"},
        {"id": str(uuid.uuid4()).upper(), "connectionId": connection_id, "name": "Holiday photos",
         "remotePath": "Photos/Holiday"},
    ]
    for key, records in (("Kalvor.connections", connections), ("Kalvor.favorites", favorites)):
        path = os.path.join(folder, key + ".json")
        descriptor = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
        with os.fdopen(descriptor, "w", encoding="utf-8") as out:
            out.write(compact_json(records))


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    parser.add_argument("--folder", required=True, help="empty folder to fill and serve from")
    return parser.parse_args()


def main():
    die_with_parent()
    args = parse_arguments()
    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)

    folder = os.path.realpath(args.folder)
    served = os.path.join(folder, "served")
    os.makedirs(served, exist_ok=True)
    fill_served(served)
    fill_to_upload(os.path.join(folder, "to-upload"))

    authorizer = DummyAuthorizer()
    authorizer.add_user(USER, PASSWORD, served, perm="elradfmwMT")
    FTPHandler.authorizer = authorizer
    FTPHandler.banner = "Kalvor demo server ready."
    server = ThreadedFTPServer(("127.0.0.1", 0), FTPHandler)
    server.join_timeout = 2
    port = server.socket.getsockname()[1]
    # Written only now: the connection needs the port the system picked.
    write_profile(os.path.join(folder, "config"), port)

    def stop(_signum, _frame):
        raise SystemExit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    print("PORT %d" % port, flush=True)
    server.serve_forever(timeout=0.5)
    # serve_forever has closed every session; a transfer thread still winding down must not keep us.
    os._exit(0)


if __name__ == "__main__":
    sys.exit(main())
