#!/usr/bin/env bash
# The server runtime's modules call one way (see server/runtime/CMakeLists.txt):
# no module includes the header of a module above it. Each source and header
# of server/runtime belongs to the module its name starts with (console_win.cpp
# to console); packets, srvdate and mhencode stand alone below the rest.
#   layers_check.sh <source root>
set -u
root=${1:?source root}
declare -A rank=(
  [packets]=0 [srvdate]=0 [mhencode]=0
  [rtclock]=1 [consoleio]=1
  [sharedopen]=2
  [srvlog]=3
  [globalmem]=4 [mailslot]=4
  [sysparams]=5
  [msglog]=6
  [console]=7
)
failed=0
for f in "$root"/server/runtime/*.h "$root"/server/runtime/*.cpp; do
  base=$(basename "$f")
  module=${base%.*}
  module=${module%_win}
  module=${module%_posix}
  if [ -z "${rank[$module]+x}" ]; then
    echo "$base: module '$module' has no place in the order"
    failed=1
    continue
  fi
  while read -r inc; do
    [ "$inc" = "$module" ] && continue
    if [ -z "${rank[$inc]+x}" ]; then
      echo "$base includes server/runtime/$inc.h, which has no place in the order"
      failed=1
    elif [ "${rank[$inc]}" -gt "${rank[$module]}" ]; then
      echo "$base ($module, layer ${rank[$module]}) includes $inc.h (layer ${rank[$inc]})"
      failed=1
    fi
  done < <(sed -n 's|^#include "server/runtime/\([a-z_]*\)\.h".*|\1|p' "$f")
done
[ "$failed" = 0 ] && echo "server runtime layers: one way"
exit "$failed"
