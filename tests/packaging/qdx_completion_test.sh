#!/usr/bin/env bash
# The bash completion of qdx: commands, each command's options and the values of the options
# that take a fixed set. bash-completion's helpers are stood in for, so that the test needs only
# bash.
#
#   qdx_completion_test.sh COMPLETION_FILE
set -uo pipefail

_init_completion() {
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD - 1]:-}
  words=("${COMP_WORDS[@]}")
  cword=$COMP_CWORD
}
_filedir() { COMPREPLY=("<files${1:+ *.$1}>"); }

# shellcheck source=/dev/null
source "$1" || exit 1

# The completions of a command line whose last word is being typed.
complete_line() {
  read -r -a COMP_WORDS <<<"$1"
  [[ $1 == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _qdx
  echo "${COMPREPLY[*]}"
}

failures=0
while IFS='|' read -r line expected; do
  [[ -z $line ]] && continue
  actual=$(complete_line "$line")
  if [[ $actual != "$expected" ]]; then
    echo "'$line': expected '$expected', got '$actual'"
    failures=$((failures + 1))
  fi
done <<'CASES'
qdx c|create check compact
qdx im|import
qdx create |<files *.qdx>
qdx create f.qdx --ci|--cipher
qdx create f.qdx --cipher Two|Twofish_128 Twofish_256
qdx create f.qdx --schema |wagenlog
qdx create f.qdx --password |
qdx info f.qdx --|--password
qdx export f.qdx T --format lubelogger-|lubelogger-gas lubelogger-service lubelogger-tax
qdx export f.qdx T -o |<files>
qdx import f.qdx T |<files *.csv>
qdx import f.qdx T x.csv --d|--date-format --decimal --dry-run
qdx b|backup
qdx backup |<files *.qdx>
qdx backup f.qdx |<files>
qdx backup f.qdx --|
qdx frobnicate f.qdx --|
CASES
exit $((failures > 0))
