#!/usr/bin/python3
"""A small forum-like HTTP server on 127.0.0.1 for the tests and the demo.

It answers a front page, the task-claim path with a page naming the task id,
/login with a cookie, and /form, a small sign-in form (two fields and a
button) that sends itself back to /form. Every request is appended to the log file as
"<monotonic seconds> <path>" (CLOCK_MONOTONIC, comparable with the program's
own clock). The mode file, when present, switches how claims are answered:
"normal", "slow" (3 s), "error" (status 500), "silent" (the request is read
and logged, then the connection is closed with no answer at all), "alert"
(the claim page opens a script alert, as some forums' pages do). It listens
on the given port, or on a free one, and writes the port to the port file once
it is ready; a hall stopped and started again on its old port comes back
where the program expects it.

Usage: task_hall.py LOG_FILE PORT_FILE [MODE_FILE [PORT]]
"""

import http.server
import os
import sys
import time

LOG, PORT_FILE = sys.argv[1], sys.argv[2]
MODE_FILE = sys.argv[3] if len(sys.argv) > 3 and sys.argv[3] else None
PORT = int(sys.argv[4]) if len(sys.argv) > 4 else 0


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
        # The request target as sent: the standard handler folds a leading
        # "//" into "/", and a doubled slash is what a test may look for.
        target = self.requestline.split(" ")[1]
        with open(LOG, "a", encoding="utf-8") as f:
            f.write(f"{time.monotonic():.6f} {target} cookie={self.headers.get('Cookie', '')}\n")
        if self.path.startswith("/home.php?mod=task&do=draw&id="):
            task = self.path.split("id=", 1)[1]
            current = mode()
            if current == "silent":
                self.close_connection = True
                return
            if current == "slow":
                time.sleep(3)
            if current == "error":
                self.answer(500, "<html><body>server error</body></html>")
                return
            script = f"<script>alert('task {task} claimed')</script>" if current == "alert" else ""
            self.answer(200, f"<html><body><h1>task {task} claimed</h1>{script}</body></html>")
        elif self.path.startswith("/form"):
            self.answer(200, "<html><body style='background:#c8e6ff'>"
                             "<form action='/form' method='get'>"
                             "<input name='user'> <input name='pass' type='password'> "
                             "<button>send</button></form></body></html>")
        elif self.path.startswith("/login"):
            self.answer(200, "<html><body>logged in</body></html>",
                        [("Set-Cookie", "hall_login=yes; Max-Age=86400; Path=/")])
        else:
            self.answer(200, "<html><body><h1>forum front page</h1>"
                             "<a href='/home.php?mod=task'>task hall</a></body></html>")


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", PORT), hall)
    tmp = PORT_FILE + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(str(server.server_address[1]))
    os.replace(tmp, PORT_FILE)
    server.serve_forever()


if __name__ == "__main__":
    main()
