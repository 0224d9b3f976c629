#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every option loomwise-batch's --help names is offered by the zsh and fish
# completions, and every value a setting takes too, so that they cannot fall
# behind the one list of options. (The bash completion reads --help itself.)
set -euo pipefail
batch="$1" packaging="$2"
help="$("$batch" --help)"
failed=0
for option in $(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
  [ "$option" = --option ] && continue  # "--option=VALUE" in the help's own words
  grep -qF -e "${option}=" -e "${option}[" -e "${option}}" "$packaging/loomwise-batch.zsh" ||
    { echo "zsh completion lacks $option"; failed=1; }
  grep -q -- "-l ${option#--}\b" "$packaging/loomwise-batch.fish" ||
    { echo "fish completion lacks $option"; failed=1; }
done
# The values of the settings, from the lines "--name a|b" of the help.
while read -r option values; do
  for value in ${values//|/ }; do
    for file in loomwise-batch.zsh loomwise-batch.fish; do
      grep -- "${option#--}[= ]" "$packaging/$file" | grep -q -- "$value" ||
        { echo "$file does not offer $value for $option"; failed=1; }
    done
  done
done < <(grep -oE -- '--[a-z-]+ [a-z0-9-]+(\|[a-z0-9-]+)+' <<<"$help")
[ "$failed" = 0 ] && echo "1 passed, 0 failed" || { echo "0 passed, 1 failed"; exit 1; }
