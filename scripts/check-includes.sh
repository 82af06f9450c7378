#!/usr/bin/env bash
# Fails when a file includes a file of a layer above its own. The layers, from
# the bottom: the platform interfaces; common (text rules, status log); config;
# the areas keys, presentation, projector and osc; server; web; shell. A file may include
# its own directory's layer and the layers below; the areas of one layer do not
# include each other. Only the platform interfaces are visible to the layers
# above: the back ends (platform/posix, platform/win32) are included by
# nobody but their own family, and the two families never include each other.
# The front ends (platform/*/main_window_*) are the one exception that may call
# into the shell, through shell/app.h.
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
    web) echo 5 ;;
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
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
    sed -E 's/^([0-9]+):[^"]*"([^"]*)".*/\1:\2/')
done < <(find platform common config keys presentation projector osc server web shell -type f \
  \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.c' \) | sort)

if [ "$failures" -ne 0 ]; then
  echo "$failures include(s) run upwards; see the layers at the top of scripts/check-includes.sh"
  exit 1
fi
echo "Includes follow the layers."
