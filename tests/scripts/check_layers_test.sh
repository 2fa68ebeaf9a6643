#!/usr/bin/env bash
# scripts/check-layers on a small tree of its own: each case is a source file
# at a path of src/ with one include, and whether the check must let it pass.
# The tree has the repository's script and layer table, so the case table
# checks the real ranks.
set -uo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/scripts" "$tree/docs"
cp "$repo/scripts/check-layers" "$tree/scripts/"
cp "$repo/docs/layers.txt" "$tree/docs/"

# file | include | expected: pass or fail
cases=(
  "src/commands/probe.cpp|ui/uiform.h|fail"
  "src/commands/probe.cpp|ui/actioncatalogue.h|fail"
  "src/commands/probe.cpp|formats/widgets/riffform.h|fail"
  "src/commands/probe.cpp|scenes/scenefile.h|pass"
  "src/commands/probe.cpp|commands/dialogvalues.h|pass"
  "src/ui/probe.cpp|commands/dmaction.h|pass"
  "src/scenes/probe.cpp|commands/dmaction.h|fail"
  "src/files/probe.cpp|scenes/scenefile.h|fail"
  "src/scenes/widgets/probe.cpp|commands/dmaction.h|pass"
)

failures=0
for c in "${cases[@]}"; do
  IFS='|' read -r file include expected <<<"$c"
  mkdir -p "$tree/$(dirname "$file")"
  printf '#include "%s"\n' "$include" >"$tree/$file"
  if (cd "$tree" && scripts/check-layers "$file") 2>/dev/null; then got=pass; else got=fail; fi
  rm -f "$tree/$file"
  if [ "$got" != "$expected" ]; then
    echo "check-layers: $file including $include: expected $expected, got $got"
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ] && echo "check-layers: ${#cases[@]} cases passed"
exit $((failures > 0))
