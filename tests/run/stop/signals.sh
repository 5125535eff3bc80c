#!/usr/bin/env bash
# SIGTERM and SIGINT end `orvel --run` cleanly: a statement that is running reports
# where it was stopped, a run that only waits for its windows ends, and the exit
# status is 1 either way. Usage: signals.sh ORVEL
. "$(dirname "${BASH_SOURCE[0]}")/../scratch.sh" "$@"

# run NAME SIGNAL MARK [OPTIONS...]: starts NAME.js, waits until stdout holds MARK,
# sends SIGNAL, waits for the end; leaves NAME.stdout, NAME.stderr, NAME.status.
run() {
  local name=$1 signal=$2 mark=$3
  shift 3
  "$orvel" --run "$name.js" "$@" >"$name.stdout" 2>"$name.stderr" &
  local pid=$! waited=0
  until grep -qx "$mark" "$name.stdout" 2>/dev/null; do
    sleep 0.1
    waited=$((waited + 1))
    if [ $waited -ge 300 ] || ! kill -0 $pid 2>/dev/null; then
      echo "$name: never printed \"$mark\""
      kill -KILL $pid 2>/dev/null
      failed=1
      return
    fi
  done
  sleep 0.3  # well inside the loop or the sleep now
  kill -"$signal" $pid
  # Bounded: a run that ignores the signal is killed and fails the case.
  waited=0
  while kill -0 $pid 2>/dev/null && [ $waited -lt 200 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  kill -KILL $pid 2>/dev/null
  wait $pid
  echo $? >"$name.status"
}

# expect NAME STATUS EXPECTED-STDOUT
expect() {
  local status
  status=$(cat "$1.status" 2>/dev/null)
  if [ "$status" != "$2" ]; then
    echo "$1: exit status $status, expected $2"; cat "$1.stderr"; failed=1
  fi
  if [ "$(cat "$1.stdout")" != "$3" ]; then
    printf '%s: stdout differs\n--- expected\n%s\n--- got\n%s\n' "$1" "$3" "$(cat "$1.stdout")"
    failed=1
  fi
}

printf 'sys.out("looping");\nvar n = 0;\ntry { while (true) { n++; } } finally { sys.out("finally"); }\n' >loop.js
run loop TERM looping --no-wait
expect loop 1 "looping
err> unit (3, 14) loop.js
err> try { while (true) { n++; } } finally { sys.out(\"finally\"); }
err> The script was stopped"

printf 'sys.out("sleeping");\nsys.sleep(60000);\nsys.out("awake");\n' >sleep.js
run sleep INT sleeping --no-wait
expect sleep 1 "sleeping
err> unit (2, 5) sleep.js
err> sys.sleep(60000);
err> The script was stopped"

# A fetch from a server that takes the connection and never answers: the stop ends the
# wait through the fetch's abort flag, long before its 30-second limit.
python3 -c '
import socket, sys, time
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(8)
open("port", "w").write(str(s.getsockname()[1]))
held = []
s.settimeout(60)
try:
    while True:
        held.append(s.accept()[0])
except OSError:
    pass
' &
server=$!
for _ in $(seq 100); do [ -s port ] && break; sleep 0.1; done
printf 'sys.out("fetching");
var page = inet.toString("http://127.0.0.1:%s/");
sys.out("fetched");
' \
  "$(cat port)" >fetch.js
run fetch TERM fetching --no-wait
expect fetch 1 "fetching
err> unit (2, 17) fetch.js
err> var page = inet.toString(\"http://127.0.0.1:$(cat port)/\");
err> The script was stopped"
kill $server 2>/dev/null
wait $server 2>/dev/null

# No statement runs while the run waits for its window: nothing to place, still 1.
printf 'main.propSet("Visible", true);\nsys.out("shown");\n' >window.js
run window TERM shown
expect window 1 "shown"
grep -q "orvel: the run was stopped" window.stderr || { echo "window: no stop message"; failed=1; }

exit $failed
