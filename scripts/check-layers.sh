#!/usr/bin/env bash
# Checks that includes run one way, down the tree: win/ includes nothing of ours; config/ and
# process/ include only win/; the server record and the error-log finder include only process/,
# config/ and win/.
set -euo pipefail
cd "$(dirname "$0")/.."
failed=0
check() {  # files allowed-folders...
  local files=$1
  shift
  local file folder allowed
  for file in $files; do
    while read -r folder; do
      allowed=0
      for ok in "$(dirname "$file")" "$@"; do [ "$folder" = "$ok" ] && allowed=1; done
      if [ "$allowed" = 0 ]; then
        echo "check-layers: $file includes from $folder/" >&2
        failed=1
      fi
    done < <(sed -n 's|^#include "\([a-z_]*\)/.*"|\1|p' "$file" | sort -u)
  done
}
check "$(ls win/*.h win/*.cpp)"
check "$(ls config/*.h config/*.cpp process/*.h process/*.cpp)" win
check "orchestration/server.h orchestration/server.cpp orchestration/mysql_error_log.h orchestration/mysql_error_log.cpp" process config win
[ "$failed" = 0 ] && echo "check-layers: includes run down the tree"
exit "$failed"
