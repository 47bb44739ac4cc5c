#!/usr/bin/env bash
# Starts and stops the Xvfb server the native X11 suites (the Linux editor)
# run on. A server already answering on the display is used as it is.
#   x11-session.sh start|stop <build-dir> <display>
set -u
action=${1:?start or stop}
build=${2:?build directory}
display=${3:-:94}
number=${display#:}
number=${number%%.*}
pidfile="$build/xvfb-x11.pid"

alive() {
  local lock="/tmp/.X${number}-lock"
  [ -f "$lock" ] && kill -0 "$(tr -d ' \n' < "$lock")" 2>/dev/null
}

case "$action" in
start)
  if ! alive; then
    rm -f "/tmp/.X${number}-lock" "/tmp/.X11-unix/X$number"
    setsid Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp </dev/null >"$build/xvfb-x11.log" 2>&1 &
    echo $! > "$pidfile"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$number" ] && break; sleep 0.1; done
  fi
  [ -e "/tmp/.X11-unix/X$number" ] || { echo "no X server on $display"; exit 1; }
  echo "X11 session ready: DISPLAY=$display"
  ;;
stop)
  if [ -f "$pidfile" ]; then
    pid=$(cat "$pidfile")
    kill "$pid" 2>/dev/null
    # Gone before the next session looks for a live server on the display.
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    rm -f "$pidfile"
  fi
  echo "X11 session stopped"
  ;;
esac
exit 0
