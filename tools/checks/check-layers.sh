#!/usr/bin/env bash
# Fails when a folder includes a header of a folder above it. The order,
# from the bottom up, is docs/ARCHITECTURE.md's: the library's folders, then
# the tool's, which see the library only through its public header.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
library=(platform foundation primitives io parse slice index decode api)
tool=(tools/images tools/host tools/commands)
layers=("${library[@]}" "${tool[@]}")

# The layer a path (a source file or an included header) belongs to, by
# its longest folder prefix; empty when none.
layerOf() {
  local best="" layer
  for layer in "${layers[@]}"; do
    if [[ "$1" == "$layer"/* && ${#layer} -gt ${#best} ]]; then best=$layer; fi
  done
  echo "$best"
}
rank() {
  local i
  for i in "${!layers[@]}"; do [ "${layers[$i]}" = "$1" ] && echo "$i"; done
}

status=0
cd "$root"
while IFS= read -r line; do
  file=${line%%:*}
  included=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"${line#*:}")
  from=$(layerOf "$file")
  to=$(layerOf "$included")
  [ -z "$from" ] || [ -z "$to" ] && continue  # the public header, headers by file name
  if [[ "$from" == tools/* && "$to" != tools/* ]]; then
    echo "$file: includes $included (the tool uses the library only through quarlin/quarlin.h)"
    status=1
  elif [ "$(rank "$to")" -gt "$(rank "$from")" ]; then
    echo "$file: includes $included, above ${from}/"
    status=1
  fi
done < <(grep -rn --include='*.cpp' --include='*.h' '#include "' "${library[@]}" "${tool[@]}" || true)
[ $status -eq 0 ] && echo "layers: every include runs down (${layers[*]})"
exit $status
