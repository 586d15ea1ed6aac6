#!/usr/bin/python3
"""A small forum-like HTTP server on 127.0.0.1 for the tests and the demo.

It answers a front page, the task-claim path with a page naming the task id,
and /login with a cookie. Every request is appended to the log file as
"<monotonic seconds> <path>" (CLOCK_MONOTONIC, comparable with the program's
own clock). The mode file, when present, switches how claims are answered:
"normal", "slow" (3 s), "error" (status 500). It listens on a free port and
writes the port to the port file once it is ready.

Usage: task_hall.py LOG_FILE PORT_FILE [MODE_FILE]
"""

import http.server
import os
import sys
import time

LOG, PORT_FILE = sys.argv[1], sys.argv[2]
MODE_FILE = sys.argv[3] if len(sys.argv) > 3 else None


def mode():
    try:
        with open(MODE_FILE, encoding="utf-8") as f:
            return f.read().strip() or "normal"
    except (OSError, TypeError):
        return "normal"


class hall(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, status, body, headers=()):
        data = body.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Cache-Control", "no-store")
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        with open(LOG, "a", encoding="utf-8") as f:
            f.write(f"{time.monotonic():.6f} {self.path} cookie={self.headers.get('Cookie', '')}\n")
        if self.path.startswith("/home.php?mod=task&do=draw&id="):
            task = self.path.split("id=", 1)[1]
            current = mode()
            if current == "slow":
                time.sleep(3)
            if current == "error":
                self.answer(500, "<html><body>server error</body></html>")
                return
            self.answer(200, f"<html><body><h1>task {task} claimed</h1></body></html>")
        elif self.path.startswith("/login"):
            self.answer(200, "<html><body>logged in</body></html>",
                        [("Set-Cookie", "hall_login=yes; Max-Age=86400; Path=/")])
        else:
            self.answer(200, "<html><body><h1>forum front page</h1>"
                             "<a href='/home.php?mod=task'>task hall</a></body></html>")


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), hall)
    tmp = PORT_FILE + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(str(server.server_address[1]))
    os.replace(tmp, PORT_FILE)
    server.serve_forever()


if __name__ == "__main__":
    main()
