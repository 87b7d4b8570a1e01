#!/usr/bin/python3
"""A pyftpdlib server for tests and the demo.

usage: /usr/bin/python3 pyftpd_server.py PORT ROOTDIR [--tls CERT KEY] [--tls-required]

ROOTDIR/user is the home of user:secret (read-write), ROOTDIR/anon the
anonymous user's (read-only). Passive ports 30200-30300. Ends on SIGTERM.
"""
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    port, root, args = int(sys.argv[1]), os.path.abspath(sys.argv[2]), sys.argv[3:]
    auth = DummyAuthorizer()
    auth.add_user("user", "secret", os.path.join(root, "user"), perm="elradfmwMT")
    auth.add_anonymous(os.path.join(root, "anon"))
    if "--tls" in args:
        i = args.index("--tls")
        handler = TLS_FTPHandler
        handler.certfile, handler.keyfile = args[i + 1], args[i + 2]
        handler.tls_control_required = "--tls-required" in args
        handler.tls_data_required = "--tls-required" in args
    else:
        handler = FTPHandler
    handler.authorizer = auth
    handler.passive_ports = range(30200, 30301)
    handler.permit_foreign_addresses = False
    handler.banner = "pyftpdlib test server ready."
    handler.auth_failed_timeout = 0
    logging.basicConfig(level=logging.INFO, stream=sys.stderr,
                        format="[%(asctime)s] %(message)s")
    server = FTPServer(("127.0.0.1", port), handler)
    server.max_cons, server.max_cons_per_ip = 64, 32
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
