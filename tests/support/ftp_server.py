"""Loopback FTP server for the FTP client tests (pyftpdlib).

Usage: ftp_server.py HOME USER PASSWORD LOG FLAGS [READ_ONLY_FOLDER ...]

Binds 127.0.0.1 on a free port below 32768 and prints that port on one line. FLAGS is a comma
separated list. One of "mlsd" (FEAT announces MLST, MLSD works), "unix" (no
MLST/MLSD; LIST in "ls -l" form) or "dos" (no MLST/MLSD; LIST in the IIS/DOS form)
chooses the listing; "leak" makes the server careless: every 5xx reply repeats the
user name and password, as a badly written server might.

Files whose names end in ".lez" are listed 7 bytes larger than they are (SIZE and
RETR stay true), so that a client's check of the listed size can be seen to work.
Every command is appended to LOG as one line (the password masked) and every new
control connection as "CONNECT". Each READ_ONLY_FOLDER (relative to HOME) may be
listed and read but not written. The server ends when its standard input closes, so
it never outlives the test process that started it.
"""

import os
import random
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    home, user, password, log_path, flags = sys.argv[1:6]
    read_only = sys.argv[6:]
    flags = flags.split(",")

    log = open(log_path, "a", buffering=1, encoding="utf-8")

    class Larger:
        """A stat result whose size is 7 bytes more than the file's."""

        def __init__(self, st):
            self._st = st
            self.st_size = st.st_size + 7

        def __getattr__(self, name):
            return getattr(self._st, name)

    class FS(AbstractedFS):
        def stat(self, path):
            st = super().stat(path)
            return Larger(st) if path.endswith(".lez") else st

        lstat = stat

    class DosFS(FS):
        """LIST lines as IIS writes them in its DOS style."""

        def format_list(self, basedir, listing, ignore_err=True):
            for name in listing:
                path = os.path.join(basedir, name)
                try:
                    st = self.lstat(path)
                except OSError:
                    if ignore_err:
                        continue
                    raise
                t = time.gmtime(st.st_mtime)
                stamp = time.strftime("%m-%d-%y  %I:%M%p", t)
                if os.path.isdir(path):
                    line = "%s       <DIR>          %s\r\n" % (stamp, name)
                else:
                    line = "%s %20d %s\r\n" % (stamp, st.st_size, name)
                yield line.encode("utf8")

    class Handler(FTPHandler):
        def on_connect(self):
            log.write("CONNECT\n")

        def pre_process_command(self, line, cmd, arg):
            log.write(("PASS ***" if cmd == "PASS" else line) + "\n")
            return super().pre_process_command(line, cmd, arg)

        def ftp_PASS(self, line):
            self.given_password = line
            return super().ftp_PASS(line)

        def respond(self, resp, *args, **kwargs):
            if "leak" in flags and resp.startswith("5"):
                resp += " (%s / %s)" % (self.username, getattr(self, "given_password", ""))
            return super().respond(resp, *args, **kwargs)

    if "unix" in flags or "dos" in flags:
        Handler.proto_cmds = {
            k: v for k, v in FTPHandler.proto_cmds.items() if k not in ("MLST", "MLSD")}
    Handler.abstracted_fs = DosFS if "dos" in flags else FS

    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, home, perm="elradfmwMT")
    for folder in read_only:
        authorizer.override_perm(user, os.path.join(home, folder), "elr", recursive=True)
    Handler.authorizer = authorizer
    Handler.banner = "Zevlon test FTP"
    Handler.use_gmt_times = True
    Handler.auth_failed_timeout = 0.05

    # The client reads its port as a 16-bit signed number, so the server takes a free
    # port below 32768 rather than whatever the system would hand out.
    rng = random.Random(os.getpid() ^ int(time.time() * 1000))
    for attempt in range(500):
        try:
            server = FTPServer(("127.0.0.1", rng.randint(20000, 32767)), Handler)
            break
        except OSError:
            if attempt == 499:
                raise
    server.max_cons = 64
    print(server.address[1], flush=True)

    def watch_stdin():
        try:
            sys.stdin.read()
        finally:
            os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(timeout=0.2, handle_exit=False)


if __name__ == "__main__":
    import logging

    logging.basicConfig(level=logging.CRITICAL)
    main()
