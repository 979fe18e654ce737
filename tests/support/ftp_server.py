# Loopback FTP server (pyftpdlib) for support/ftp_server.h, killed with its parent.
# Arguments: HOME USER PASSWORD LOG PORT_FILE FLAGS [READ_ONLY_FOLDER ...]. Ports lie
# in 20000..32767, with the flag "vysoky" in 32768..60999; "*.lez" are listed 7 bytes larger;
# with the flag "kapka" downloads trickle.

import ctypes, logging, os, random, sys  # noqa: E401

from pyftpdlib import authorizers, filesystems, handlers, servers

home, user, password, log_path, port_path, flags = sys.argv[1:7]
log = open(log_path, "a", buffering=1, encoding="utf-8")

class FS(filesystems.AbstractedFS):
    def stat(self, path):
        fields = list(super().stat(path))
        fields[6] += 7 if path.endswith(".lez") else 0  # st_size
        return os.stat_result(fields)
    lstat = stat

class Handler(handlers.FTPHandler):
    abstracted_fs = FS
    auth_failed_timeout = 0.05

    def pre_process_command(self, line, cmd, arg):
        log.write(cmd + "\n")
        if cmd == "RNTO":  # the name a file is renamed to, in order
            log.write("@" + os.path.basename(arg) + "\n")
        return super().pre_process_command(line, cmd, arg)

    def respond(self, resp, *args, **kwargs):
        if "leak" in flags and resp.startswith("5"):
            resp += " (%s / %s)" % (user, password)
        return super().respond(resp, *args, **kwargs)

if "kapka" in flags:  # the server sends 512 bytes a second, takes uploads at full speed
    class Kapka(handlers.ThrottledDTPHandler):
        write_limit = 512
    Handler.dtp_handler = Kapka

Handler.authorizer = authorizers.DummyAuthorizer()
Handler.authorizer.add_user(user, password, home, perm="elradfmwMT")
for folder in sys.argv[7:]:
    Handler.authorizer.override_perm(user, os.path.join(home, folder), "elr", recursive=True)
ctypes.CDLL(None).prctl(1, 9)  # PR_SET_PDEATHSIG, SIGKILL
logging.basicConfig(level=logging.CRITICAL)
ports = (32768, 60999) if "vysoky" in flags else (20000, 32767)
for attempt in range(500):
    try:
        server = servers.FTPServer(("127.0.0.1", random.randint(*ports)), Handler)
        break
    except OSError:  # in use; after the last attempt `server` is missing and we end
        pass
open(port_path + ".tmp", "w").write("%d\n" % server.address[1])  # closed at once
os.rename(port_path + ".tmp", port_path)
server.serve_forever(timeout=0.2, handle_exit=False)
