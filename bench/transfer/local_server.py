#!/usr/bin/env python3
"""Serves one folder on 127.0.0.1 for the transfer benchmark and the dialog
screenshot. Prints the chosen port, then serves until killed.

--rate BYTES_PER_SECOND sends bodies slowly (for looking at the dialog);
otherwise bodies go out with sendfile, so the server is never the limit."""
import argparse
import functools
import http.server
import os
import sys
import time


class Handler(http.server.SimpleHTTPRequestHandler):
    rate = 0

    def copyfile(self, source, outputfile):
        outputfile.flush()
        if not self.rate:
            self.connection.sendfile(source)
            return
        piece = max(1, self.rate // 10)
        deadline = time.monotonic() + 600
        while time.monotonic() < deadline:
            data = source.read(piece)
            if not data:
                return
            outputfile.write(data)
            time.sleep(0.1)

    def log_message(self, *args):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--rate", type=int, default=0)
    args = parser.parse_args()
    Handler.rate = args.rate
    handler = functools.partial(Handler, directory=os.path.abspath(args.folder))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
