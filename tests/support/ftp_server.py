"""Loopback FTP server for the FTP client tests (pyftpdlib).

Usage: ftp_server.py HOME USER PASSWORD LOG PORT_FILE FLAGS [READ_ONLY_FOLDER ...]

Listens on 127.0.0.1 below port 32768 (the client reads ports as signed 16-bit
numbers) and then writes the port to PORT_FILE. FLAGS: "mlsd", "unix" or "dos" (LIST
in "ls -l" or IIS/DOS form, no MLST/MLSD), and ",leak" for 5xx replies that repeat
the user name and password. "*.lez" files are listed 7 bytes larger than they are.
Each command goes to LOG as "COMMAND argument" (password masked), each connection
as "CONNECT". READ_ONLY_FOLDERs (below HOME) cannot be written. Ends with its parent.
"""

import logging
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
    home, user, password, log_path, port_path, flags = sys.argv[1:7]
    flags = flags.split(",")
    log = open(log_path, "a", buffering=1, encoding="utf-8")

    class FS(AbstractedFS):
        def stat(self, path):
            st = super().stat(path)
            if not path.endswith(".lez"):
                return st
            fields = list(st)
            fields[6] += 7  # st_size
            return os.stat_result(fields)

        lstat = stat

    class DosFS(FS):
        def format_list(self, basedir, listing, ignore_err=True):
            for name in listing:
                path = os.path.join(basedir, name)
                st = self.lstat(path)
                stamp = time.strftime("%m-%d-%y  %I:%M%p", time.gmtime(st.st_mtime))
                size = "      <DIR>         " if os.path.isdir(path) else "%20d" % st.st_size
                yield ("%s %s %s\r\n" % (stamp, size, name)).encode("utf8")

    class Handler(FTPHandler):
        def on_connect(self):
            log.write("CONNECT\n")

        def pre_process_command(self, line, cmd, arg):
            log.write(("PASS ***" if cmd == "PASS" else (cmd + " " + (arg or "")).strip()) + "\n")
            return super().pre_process_command(line, cmd, arg)

        def ftp_PASS(self, line):
            self.given_password = line
            return super().ftp_PASS(line)

        def respond(self, resp, *args, **kwargs):
            if "leak" in flags and resp.startswith("5"):
                resp += " (%s / %s)" % (self.username, getattr(self, "given_password", ""))
            return super().respond(resp, *args, **kwargs)

    if "mlsd" not in flags:
        Handler.proto_cmds = {
            k: v for k, v in FTPHandler.proto_cmds.items() if k not in ("MLST", "MLSD")}
    Handler.abstracted_fs = DosFS if "dos" in flags else FS
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, home, perm="elradfmwMT")
    for folder in sys.argv[7:]:
        authorizer.override_perm(user, os.path.join(home, folder), "elr", recursive=True)
    Handler.authorizer = authorizer
    Handler.auth_failed_timeout = 0.05

    rng = random.Random(os.getpid() ^ int(time.time() * 1000))
    for attempt in range(500):
        try:
            server = FTPServer(("127.0.0.1", rng.randint(20000, 32767)), Handler)
            break
        except OSError:
            if attempt == 499:
                raise
    with open(port_path + ".tmp", "w") as f:
        f.write("%d\n" % server.address[1])
    os.rename(port_path + ".tmp", port_path)

    parent = os.getppid()

    def watch_parent():
        while os.getppid() == parent:
            time.sleep(0.2)
        os._exit(0)

    threading.Thread(target=watch_parent, daemon=True).start()
    server.serve_forever(timeout=0.2, handle_exit=False)


if __name__ == "__main__":
    logging.basicConfig(level=logging.CRITICAL)
    main()
