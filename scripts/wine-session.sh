#!/usr/bin/env bash
# A private Wine prefix and Xvfb display, for the Windows program's tests.
#   Sourced (by scripts/test-all.sh): start_wine_session DIR makes them under
#   DIR and exports DISPLAY, WINEPREFIX and the rest; stop_wine_session ends
#   the wineserver and the display (DIR is the caller's to remove).
#   Run: scripts/wine-session.sh COMMAND [ARGS...] runs one command in a new
#   session and removes it afterwards, for instance
#     scripts/wine-session.sh ctest --preset native -R wine
wine_session_xvfb_pid=""

start_wine_session() {
  local dir="$1"
  exec 3>"$dir/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
  wine_session_xvfb_pid=$!
  exec 3>&-
  for _ in $(seq 100); do
    [ -s "$dir/display" ] && break
    sleep 0.1
  done
  export DISPLAY=":$(head -n1 "$dir/display")"
  echo "Xvfb on $DISPLAY (pid $wine_session_xvfb_pid)"

  export WINEPREFIX="$dir/wineprefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
  # The wineserver is started on its own, so that no test's pipe is inherited by it.
  /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
  /usr/lib/wine/wine64 wineboot --init </dev/null >/dev/null 2>&1
  # No window manager runs on this display for the Wine tests: Wine draws the
  # title bars itself, so that windows and screenshots look as on Windows.
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f \
    </dev/null >/dev/null 2>&1
  # The new prefix is started once more before the tests. Right after its
  # creation it runs two service managers for a while, and the first
  # out-of-process COM activation then never completes (measured: the class
  # server starts, but its registration never reaches the client).
  /usr/lib/wine/wineserver -k
  /usr/lib/wine/wineserver -w
  /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
  # The prefix's services start with the first program of this wineserver
  # session and inherit its output: a first program with its output on
  # /dev/null, so that no test's pipe stays open in them.
  /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1
}

stop_wine_session() {
  if [ -n "${WINEPREFIX:-}" ]; then /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true; fi
  if [ -n "$wine_session_xvfb_pid" ]; then
    kill "$wine_session_xvfb_pid" 2>/dev/null || true
    wait "$wine_session_xvfb_pid" 2>/dev/null || true
    wine_session_xvfb_pid=""
  fi
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  [ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }
  session_dir="$(mktemp -d /tmp/podiant-wine.XXXXXX)"
  trap 'stop_wine_session; rm -rf "$session_dir"' EXIT
  start_wine_session "$session_dir"
  status=0
  "$@" || status=$?
  exit $status
fi
