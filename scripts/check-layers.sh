#!/usr/bin/env bash
# Checks that includes run one way, down the floors: win/ includes nothing of ours; config/ and
# process/ only win/; orchestration/ only process/, config/ and win/; ui/ only win/ and config/;
# app/, the shell on top, anything. A folder may always include from itself.
set -euo pipefail
cd "$(dirname "$0")/.."
failed=0
check() {  # folder allowed-folders...
  local folder=$1
  shift
  local file used ok allowed
  for file in "$folder"/*.h "$folder"/*.cpp; do
    [ -e "$file" ] || continue
    while read -r used; do
      allowed=0
      for ok in "$folder" "$@"; do [ "$used" = "$ok" ] && allowed=1; done
      if [ "$allowed" = 0 ]; then
        echo "check-layers: $file includes from $used/" >&2
        failed=1
      fi
    done < <(sed -n 's|^#include "\([a-z_]*\)/.*"|\1|p' "$file" | sort -u)
  done
}
check win
check config win
check process win
check orchestration process config win
check ui win config
check app orchestration ui process config win resources
[ "$failed" = 0 ] && echo "check-layers: includes run down the floors"
exit "$failed"
