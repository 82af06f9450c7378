#!/usr/bin/env bash
# Fails when a file includes a file of a layer above its own. The layers, from
# the bottom: the platform interfaces; common (text rules, status log); config;
# the areas keys, presentation, projector and osc; server; web and venue; shell. A file may include
# its own directory's layer and the layers below; the areas of one layer do not
# include each other. Only the platform interfaces are visible to the layers
# above: the back ends (platform/posix, platform/win32) are included by
# nobody but their own family, and the two families never include each other.
# The front ends (platform/*/main_window_*) are the one exception that may call
# into the shell, through shell/app.h.
# The doors (the datagram door, the OSC door, the web remote) depend on the
# arrival (server/arrival.h), never on each other; the state channels (the
# plain feedback, OSC out, the web's live state) on the channel table
# (server/state_channels.h), never on each other; and neither the arrival nor
# the channel table, the show watch or the server's mailbox depends on a door
# or a channel. Only the server thread's loop (server/server_thread.cpp) and
# the doors' own starters wire them together.
# Tests beside an area follow that area's rule and may also use tests/ (fakes
# and support); the end-to-end tests, fuzz targets and benchmarks under tests/
# and bench/ test the layers from outside and are not checked.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

rank() {
  case "$1" in
    platform) echo 0 ;;
    common) echo 1 ;;
    config) echo 2 ;;
    keys | presentation | projector | osc) echo 3 ;;
    server) echo 4 ;;
    web | venue) echo 5 ;;
    shell) echo 6 ;;
    *) echo "" ;;
  esac
}

# The back-end family of a path (posix, win32), or nothing for the rest.
family() {
  case "$1" in
    platform/posix/*) echo posix ;;
    platform/win32/*) echo win32 ;;
    *) echo "" ;;
  esac
}

# The door of a path (datagram, osc, web), or nothing.
door() {
  case "$1" in
    server/datagram_door.*) echo datagram ;;
    server/osc_door.*) echo osc ;;
    web/*) echo web ;;
    venue/*) echo venue ;;
    *) echo "" ;;
  esac
}

# The state channel of a path (feedback, osc, web), or nothing.
channel() {
  case "$1" in
    server/feedback.*) echo feedback ;;
    server/osc_channel.*) echo osc ;;
    web/live_state.*) echo web ;;
    venue/venue_link.* | venue/venue_state.*) echo venue ;;
    *) echo "" ;;
  esac
}

# The one road in and the one road out, which know no door and no channel.
is_road() {
  case "$1" in
    server/arrival.* | server/state_channels.* | server/show_watch.* | server/show_changes.* | \
      server/server_mailbox.*) return 0 ;;
    *) return 1 ;;
  esac
}

failures=0
while IFS= read -r file; do
  area="${file%%/*}"
  own_rank="$(rank "$area")"
  [ -n "$own_rank" ] || continue
  own_family="$(family "$file")"
  while IFS=: read -r line target; do
    target_area="${target%%/*}"
    [ "$target_area" = "$target" ] && continue  # a file of the same directory
    allowed=no
    if [[ "$file" == */tests/* && "$target_area" == tests ]]; then
      allowed=yes
    elif [[ "$target" == platform/posix/* || "$target" == platform/win32/* ]]; then
      [ "$(family "$target")" = "$own_family" ] && allowed=yes
    elif [[ "$target" == shell/app.h && "$file" == platform/*/main_window_* ]]; then
      allowed=yes
    else
      target_rank="$(rank "$target_area")"
      if [ -n "$target_rank" ]; then
        if [ "$target_area" = "$area" ] || [ "$target_rank" -lt "$own_rank" ]; then allowed=yes; fi
      fi
    fi
    if [ "$allowed" = no ]; then
      echo "$file:$line: includes \"$target\", which is not below it"
      failures=$((failures + 1))
      continue
    fi
    [[ "$file" == */tests/* ]] && continue  # tests look at several doors at once
    own_door="$(door "$file")" target_door="$(door "$target")"
    own_channel="$(channel "$file")" target_channel="$(channel "$target")"
    if [ -n "$own_door" ] && [ -n "$target_door" ] && [ "$own_door" != "$target_door" ]; then
      echo "$file:$line: includes \"$target\": a door depends on the arrival, not on another door"
      failures=$((failures + 1))
    elif [ -n "$own_channel" ] && [ -n "$target_channel" ] && [ "$own_channel" != "$target_channel" ]; then
      echo "$file:$line: includes \"$target\": a channel depends on the channel table, not on another"
      failures=$((failures + 1))
    elif is_road "$file" && [ -n "$target_door$target_channel" ]; then
      echo "$file:$line: includes \"$target\": the arrival and the channel table know no door or channel"
      failures=$((failures + 1))
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
    sed -E 's/^([0-9]+):[^"]*"([^"]*)".*/\1:\2/')
done < <(find platform common config keys presentation projector osc server web venue shell -type f \
  \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.c' \) | sort)

if [ "$failures" -ne 0 ]; then
  echo "$failures include(s) break the layers; see the rules at the top of scripts/check-includes.sh"
  exit 1
fi
echo "Includes follow the layers."
