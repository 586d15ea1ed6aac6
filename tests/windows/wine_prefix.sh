#!/bin/bash
# A Wine prefix of its own for one test run, made by the CTest fixture and
# removed at its end. Usage: wine_prefix.sh setup|cleanup PREFIX
# setup: a fresh prefix (wineboot --init) with the test settings below, then
# a persistent wineserver started under setsid, its output and that of
# Wine's background processes sent to files: a pipe that they inherit would
# be held open and keep every test waiting on it.
# restart, run by each GUI test on its own display: the server started
# afresh (it keeps the screen size of the display it last served), and
# Wine's services and desktop with it, so that RpcSs runs (right after
# --init it may not, and every first page load would wait for it).
# The settings belong to this prefix only: X windows without a frame of
# Wine's own, so the X window's outer size is the Win32 one, and Chinese
# texts in the dialog fonts drawn from Noto Sans CJK.
set -euo pipefail
[[ $# -eq 2 ]] || { echo "usage: $0 setup|restart|cleanup PREFIX" >&2; exit 2; }
action=$1
export WINEPREFIX=$2 WINEDEBUG=-all LC_ALL=C.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml="

stop_server() {
  if [[ -d "$WINEPREFIX" ]]; then
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
  fi
}

start_server() {
  local logs="$WINEPREFIX/logs"
  stop_server
  setsid wineserver -p </dev/null >>"$logs/wineserver.log" 2>&1 &
  setsid wine wineboot </dev/null >>"$logs/restart.log" 2>&1
}

case "$action" in
  setup)
    # No display here: Wine's desktop process starts with the first
    # program of the restart below, on the test's own display.
    unset DISPLAY WAYLAND_DISPLAY
    stop_server
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    logs="$WINEPREFIX/logs"
    wineboot --init >"$WINEPREFIX.boot.log" 2>&1
    mkdir -p "$logs"
    mv "$WINEPREFIX.boot.log" "$logs/boot.log"
    # REG_MULTI_SZ in the ANSI form of REGEDIT4: one entry, then two NULs.
    link=$(printf '%s' "NotoSansCJK-Regular.ttc,Noto Sans CJK SC" | od -An -tx1 | tr -s ' \n' ',')
    link="hex(7):${link#,}00,00"
    cat >"$logs/settings.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Decorated"="N"

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]
"Tahoma"=$link
"MS Shell Dlg"=$link
"Microsoft Sans Serif"=$link
REG
    wine regedit /S "$logs/settings.reg" >>"$logs/boot.log" 2>&1
    stop_server
    setsid wineserver -p </dev/null >>"$logs/wineserver.log" 2>&1 &
    ;;
  restart)
    start_server
    ;;
  cleanup)
    stop_server
    rm -rf "$WINEPREFIX"
    ;;
  *)
    echo "usage: $0 setup|restart|cleanup PREFIX" >&2
    exit 2
    ;;
esac
