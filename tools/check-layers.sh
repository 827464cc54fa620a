#!/usr/bin/env bash
# Fails when a file includes a folder above its own layer, or when anything below the windows
# includes Qt. The layers, each with what it may include besides itself:
#   app -> editors, wizards -> widgets -> application -> emulator, files, synth, model, platform
#   cli -> emulator, files, synth, model, platform;  emulator -> voice -> model -> platform
#   files -> synth, model, platform;  synth -> model, platform
set -euo pipefail
src="$(cd "$(dirname "${BASH_SOURCE[0]}")/../src" && pwd)"

declare -A allowed=(
  [platform]=""
  [model]="platform"
  [synth]="model platform"
  [files]="synth model platform"
  [voice]="model platform"
  [emulator]="voice model platform"
  [cli]="emulator voice files synth model platform"
  [application]="emulator voice files synth model platform"
  [widgets]="application emulator voice files synth model platform"
  [editors]="widgets application emulator voice files synth model platform"
  [wizards]="widgets application emulator voice files synth model platform"
  [app]="editors wizards widgets application emulator voice files synth model platform"
)
windows=" app editors widgets wizards "

bad=0
while IFS= read -r -d '' file; do
  rel=${file#"$src"/}
  layer=${rel%%/*}
  if [[ -z ${allowed[$layer]+x} ]]; then
    echo "$rel: folder '$layer' has no place in the layers (tools/check-layers.sh)"
    bad=1
    continue
  fi
  ok=" $layer ${allowed[$layer]} "
  while IFS= read -r line; do
    target=${line#*\"}
    target=${target%%/*}
    if [[ $ok != *" $target "* ]]; then
      echo "$rel: $layer may not include $target ($line)"
      bad=1
    fi
  done < <(grep -E '^#include "[a-z]+/' "$file" || true)
  if [[ $windows != *" $layer "* ]] && grep -qE '^#include <Q' "$file"; then
    echo "$rel: only the windows include Qt"
    bad=1
  fi
done < <(find "$src" -mindepth 2 \( -name '*.cpp' -o -name '*.h' \) -print0)

if ((bad)); then
  echo "Layer check failed: includes must point down the layers (see the README's source map)."
  exit 1
fi
echo "Layer check: every include points down."
