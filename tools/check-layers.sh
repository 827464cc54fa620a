#!/usr/bin/env bash
# Fails when a file under src/ includes a folder its own folder may not use, or when anything
# outside the windows' folders includes Qt. What each folder may use is written once, in
# src/layers.cmake, which the build also follows (one library per folder).
#
# Every include is judged by the file it reaches, found as the compiler finds it: beside the
# including file, then from src/. A quoted include must reach a file under src/, and a file in
# another folder is named from src/ ("model/Program.h"): the build can refuse an upward include
# only in that form, so "../model/Program.h" and a bare "Program.h" from elsewhere fail here.
set -euo pipefail
src="$(cd "$(dirname "${BASH_SOURCE[0]}")/../src" && pwd)"
layers_file="$src/layers.cmake"
bad=0
fail() {
  echo "$1"
  bad=1
}

# The graph: each folder with the folders it uses directly, then everything it reaches.
declare -A uses=() allowed=()
while IFS= read -r line; do
  if [[ $line =~ ^[[:space:]]*\"([a-z_]+):([a-z_[:space:]]*)\" ]]; then
    uses[${BASH_REMATCH[1]}]=$(echo ${BASH_REMATCH[2]})
  fi
done <"$layers_file"
qt_line=$(grep -E '^[[:space:]]*set\(TALMERU_QT_LAYERS ' "$layers_file")
qt_layers=" $(echo $(sed -E 's/.*TALMERU_QT_LAYERS ([a-z_ ]*)\).*/\1/' <<<"$qt_line")) "
((${#uses[@]})) || { echo "No layers found in $layers_file"; exit 1; }

for folder in "${!uses[@]}"; do
  allowed[$folder]=" ${uses[$folder]} "
  for use in ${uses[$folder]}; do
    [[ -n ${uses[$use]+x} ]] || fail "src/layers.cmake: $folder uses '$use', which is no layer"
  done
done
changed=1
while ((changed)); do
  changed=0
  for folder in "${!allowed[@]}"; do
    for use in ${allowed[$folder]}; do
      for below in ${allowed[$use]-}; do
        if [[ ${allowed[$folder]} != *" $below "* ]]; then
          allowed[$folder]+="$below "
          changed=1
        fi
      done
    done
  done
done
for folder in "${!allowed[@]}"; do
  [[ ${allowed[$folder]} != *" $folder "* ]] || fail "src/layers.cmake: $folder uses itself through a cycle"
done

# normalize PATH: the absolute path without "." and ".." parts, in REPLY.
normalize() {
  local IFS=/ part
  local -a parts=()
  set -f
  for part in $1; do
    case $part in
      '' | .) ;;
      ..) ((${#parts[@]} == 0)) || unset 'parts[-1]' ;;
      *) parts+=("$part") ;;
    esac
  done
  set +f
  REPLY="/${parts[*]}"
}

mapfile -d '' files < <(find "$src" -type f \( -name '*.cpp' -o -name '*.cc' -o -name '*.cxx' \
  -o -name '*.h' -o -name '*.hh' -o -name '*.hpp' -o -name '*.inl' -o -name '*.ipp' \) -print0 | sort -z)
include_re='^[[:space:]]*#[[:space:]]*include[[:space:]]*(["<])([^">]*)[">]'

for file in "${files[@]}"; do
  rel=${file#"$src"/}
  layer=${rel%%/*}
  if [[ $layer == "$rel" || -z ${uses[$layer]+x} ]]; then
    fail "src/$rel: '${rel%/*}' has no place in the layers (src/layers.cmake)"
    continue
  fi
  dir=${file%/*}
  while IFS= read -r hit; do
    lineno=${hit%%:*}
    line=${hit#*:}
    where="src/$rel:$lineno"
    if [[ ! $line =~ $include_re ]]; then
      fail "$where: an include this check cannot follow ($line)"
      continue
    fi
    kind=${BASH_REMATCH[1]}
    path=${BASH_REMATCH[2]}
    beside=0
    if [[ $kind == '"' && -f $dir/$path ]]; then
      normalize "$dir/$path"
      beside=1
    elif [[ -f $src/$path ]]; then
      normalize "$src/$path"
    elif [[ $kind == '<' ]]; then
      if [[ $path =~ ^(Q|q[a-z0-9_]*\.h$) && $qt_layers != *" $layer "* ]]; then
        fail "$where: only the windows include Qt ($line)"
      fi
      continue
    else
      stripped=$path
      while [[ $stripped == ../* || $stripped == ./* ]]; do stripped=${stripped#*/}; done
      named=()
      for other in "${files[@]}"; do
        [[ $other != */"$stripped" ]] || named+=("${other#"$src"/}")
      done
      if ((${#named[@]})); then
        fail "$where: \"$path\" is no path from here or from src/; name the header from src/ (${named[*]})"
      else
        fail "$where: \"$path\" is no file under src/; outside headers are included with <> ($line)"
      fi
      continue
    fi
    if [[ $REPLY != "$src"/*/* ]]; then
      fail "$where: $line reaches ${REPLY}, outside the layers"
      continue
    fi
    target_rel=${REPLY#"$src"/}
    target=${target_rel%%/*}
    [[ $target != "$layer" ]] || continue
    if [[ ${allowed[$layer]} != *" $target "* ]]; then
      fail "$where: $layer may not use $target ($line)"
    elif ((beside)); then
      fail "$where: name another folder's header from src/, as \"$target_rel\" ($line)"
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done

if ((bad)); then
  echo "Layer check failed: includes must point down the layers (src/layers.cmake)."
  exit 1
fi
echo "Layer check: every include points down."
