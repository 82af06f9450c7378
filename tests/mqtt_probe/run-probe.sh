#!/usr/bin/env bash
# Runs the MQTT probe (podiant-mqtt-probe) against a broker of its own: Debian's
# mosquitto on a free port of 127.0.0.1, anonymous, no persistence, stopped at
# the end. mosquitto_pub sends the probe its command and mosquitto_sub reads
# back the message that the probe left retained.
#   tests/mqtt_probe/run-probe.sh PROBE_COMMAND...
# for instance build/native/tests/mqtt_probe/podiant-mqtt-probe, or, inside a
# Wine session (scripts/wine-session.sh), /usr/lib/wine/wine64
# build/windows/tests/mqtt_probe/podiant-mqtt-probe.exe.
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 PROBE_COMMAND..." >&2; exit 2; }
for program in mosquitto mosquitto_pub mosquitto_sub; do
  command -v "$program" >/dev/null ||
    { echo "run-probe: $program is missing (Debian: mosquitto, mosquitto-clients)" >&2; exit 1; }
done

work="$(mktemp -d /tmp/podiant-mqtt-probe.XXXXXX)"
broker_pid=""
probe_pid=""
cleanup() {
  [ -z "$probe_pid" ] || kill "$probe_pid" 2>/dev/null || true
  if [ -n "$broker_pid" ]; then
    kill "$broker_pid" 2>/dev/null || true
    wait "$broker_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

show() {
  echo "--- probe output"
  cat "$work/probe.log" 2>/dev/null || true
  echo "--- broker log"
  cat "$work/broker.log" 2>/dev/null || true
}

# A port that another program may take first: a broker that could not listen
# exits at once, and the next port is tried.
port=""
for _ in $(seq 20); do
  candidate=$((20000 + RANDOM % 40000))
  cat >"$work/mosquitto.conf" <<CONF
listener $candidate 127.0.0.1
allow_anonymous true
persistence false
log_dest stderr
log_type error
log_type warning
log_type notice
log_type information
CONF
  mosquitto -c "$work/mosquitto.conf" >"$work/broker.log" 2>&1 &
  broker_pid=$!
  for _ in $(seq 50); do
    if grep -q "running" "$work/broker.log" || ! kill -0 "$broker_pid" 2>/dev/null; then break; fi
    sleep 0.1
  done
  if kill -0 "$broker_pid" 2>/dev/null && grep -q "running" "$work/broker.log"; then
    port="$candidate"
    break
  fi
  kill "$broker_pid" 2>/dev/null || true
  wait "$broker_pid" 2>/dev/null || true
  broker_pid=""
done
[ -n "$port" ] || { show; echo "run-probe: no broker could be started" >&2; exit 1; }

prefix="podiant-probe/$$"
"$@" 127.0.0.1 "$port" "$prefix" 30 >"$work/probe.log" 2>&1 </dev/null &
probe_pid=$!
for _ in $(seq 300); do
  if grep -q "^subscribed" "$work/probe.log" || ! kill -0 "$probe_pid" 2>/dev/null; then break; fi
  sleep 0.1
done
if ! grep -q "^subscribed" "$work/probe.log"; then
  show
  echo "run-probe: the probe did not subscribe" >&2
  exit 1
fi
mosquitto_pub -h 127.0.0.1 -p "$port" -q 1 -t "$prefix/command" -m "hello from mosquitto_pub"
status=0
wait "$probe_pid" || status=$?
probe_pid=""
retained="$(mosquitto_sub -h 127.0.0.1 -p "$port" -t "$prefix/state" -C 1 -W 5 || true)"
show
echo "--- mosquitto_sub read on $prefix/state: $retained"
if [ "$status" -ne 0 ]; then
  echo "run-probe: the probe failed (exit code $status)" >&2
  exit 1
fi
grep -q "^received $prefix/command hello from mosquitto_pub" "$work/probe.log" ||
  { echo "run-probe: the probe did not print the command it received" >&2; exit 1; }
[ "$retained" = "ready" ] ||
  { echo "run-probe: the probe's retained message was not on the broker" >&2; exit 1; }
echo "run-probe: passed"
