#!/usr/bin/env bash
# Starts and stops the shared wine session of the Windows test suite: an Xvfb
# display (windows need one) and a prestarted wineserver. Without the prestart
# every test pays ~2.5 s, and readers of a test's output can stall, because
# the first wine process hands its stderr to wine's background services.
#   wine-session.sh start|stop <build-dir>
set -u
action=${1:?start or stop}
build=${2:?build directory}
export WINEPREFIX=${WINEPREFIX:-$build/../wineprefix}
export DISPLAY=${DISPLAY:-:93}
export WINEDEBUG=${WINEDEBUG:--all,err+module}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
mkdir -p "$(dirname "$WINEPREFIX")"
WINEPREFIX=$(cd "$(dirname "$WINEPREFIX")" && pwd)/$(basename "$WINEPREFIX")
pidfile="$build/xvfb.pid"
display_number=${DISPLAY#:}
display_number=${display_number%%.*}

display_alive() {
  local lock="/tmp/.X${display_number}-lock"
  [ -f "$lock" ] && kill -0 "$(tr -d ' \n' < "$lock")" 2>/dev/null
}

case "$action" in
start)
  if ! display_alive; then
    rm -f "/tmp/.X${display_number}-lock" "/tmp/.X11-unix/X$display_number"
    setsid Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    echo $! > "$pidfile"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display_number" ] && break; sleep 0.1; done
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
  fi
  wineserver -k </dev/null >/dev/null 2>&1
  wineserver -p </dev/null >/dev/null 2>&1
  wine wineboot </dev/null >/dev/null 2>&1
  echo "wine session ready: WINEPREFIX=$WINEPREFIX DISPLAY=$DISPLAY"
  ;;
stop)
  wineserver -k </dev/null >/dev/null 2>&1
  if [ -f "$pidfile" ]; then kill "$(cat "$pidfile")" 2>/dev/null; rm -f "$pidfile"; fi
  echo "wine session stopped"
  ;;
esac
exit 0
