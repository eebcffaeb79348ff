#!/usr/bin/env bash
# Runs the bash completion of tessary-cli as bash-completion does on <Tab>
# and checks what it offers, and checks that both the bash and the zsh
# completion offer every option of the tool's usage text.
# Usage: check_completion.sh BASH_COMPLETION ZSH_COMPLETION OPTIONS_SOURCE
set -u
framework=/usr/share/bash-completion/bash_completion
if [ ! -r "$framework" ]; then
  echo "bash-completion is not installed: skipped"
  exit 77
fi
bash_file=$1 zsh_file=$2 options_source=$3
failures=0
fail() {
  echo "FAIL: $*"
  failures=1
}

usage=$(sed -n '/UsageText = R"(/,/)";/p' "$options_source")
for option in $(grep -oE -- '--[a-z][a-z-]*' <<<"$usage" | sort -u) \
  $(grep -oE -- '^ +-[a-zA-Z],' <<<"$usage" | tr -d ' ,'); do
  for file in "$bash_file" "$zsh_file"; do
    grep -qE -- "(^|[ '{(,])$option([ =+,}'[]|$)" "$file" || fail "$(basename "$file") lacks $option"
  done
done

# shellcheck source=/dev/null
source "$framework"
# shellcheck source=/dev/null
source "$bash_file"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
touch "$scratch/damaged.part"
mkdir "$scratch/folder"

# The words as bash splits the line ("=" is a word of its own); the last is
# the one being completed.
offers() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _tessary_cli tessary-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
  printf '%s\n' "${COMPREPLY[@]}"
}

s=$scratch
while IFS='|' read -r line wanted; do
  # shellcheck disable=SC2086
  got=$(offers $line)
  grep -qxF -- "$wanted" <<<"$got" || fail "'$line' offers [$(tr '\n' ' ' <<<"$got")], not $wanted"
done <<EOF2
tessary-cli --ou|--output=
tessary-cli -|--force
tessary-cli -|--list
tessary-cli $s/dam|$s/damaged.part
tessary-cli $s/fol|$s/folder
tessary-cli -o $s/dam|$s/damaged.part
tessary-cli --output = $s/dam|$s/damaged.part
tessary-cli -q --json $s/dam|$s/damaged.part
tessary-cli -d $s/fol|$s/folder
tessary-cli a.zip --dir|--directory=
EOF2
exit $failures
