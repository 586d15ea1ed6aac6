#!/bin/bash
# With no display to open, the program prints the fatal-error text to
# standard error, byte for byte, and ends with -1 (255 as an exit status).
# Usage: no_display_test.sh PROGRAM
set -u
program="$1"
err=$(mktemp)
trap 'rm -f "$err"' EXIT
env -u DISPLAY -u WAYLAND_DISPLAY "$program" 2>"$err" >/dev/null
status=$?
expected=$(printf '运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n' | od -An -tx1)
got=$(od -An -tx1 <"$err")
fail=0
if [ "$status" -ne 255 ]; then echo "exit status $status, expected 255"; fail=1; fi
if [ "$got" != "$expected" ]; then echo "standard error was:"; cat -A "$err"; fail=1; fi
[ "$fail" -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit "$fail"
