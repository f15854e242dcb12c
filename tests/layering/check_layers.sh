#!/usr/bin/env bash
# Checks every #include of the layers against the layer table of docs/ARCHITECTURE.md:
#
#   folder              may include (besides itself and the C++ library)
#   engine/foundation   zlib, libbz2, Crypto++, ICU, compiler intrinsics; system headers only
#                       under engine/foundation/platform
#   engine/core         foundation
#   engine/disk         core, foundation
#   dataset             disk, core, foundation; Qt only in the dialogs (dataset/dialogs/ or
#                       *_dialog.h / *_dialog.cpp)
#   wagenlog            dataset, disk, core, foundation
#   app                 wagenlog, dataset, disk, core, foundation, Qt
#   tools               wagenlog, dataset, disk, core, foundation
#
# Project headers are named by their path from the repository root. An angle include is the C++
# library when its name has neither a dot nor a slash and does not start with "Q"; Qt when it
# starts with "Q"; a library of the foundation when it is one of those listed; anything else is
# a system header. Tests and benchmarks sit above every layer and are not checked.
#
# The engine and the dataset layer know nothing of the car-cost program: no file below wagenlog/
# names it (its name "Wagenlog", its file "wagenlog.qdx"), its tables (Brandstofkosten,
# Autogegevens) or its Dutch texts (the expense categories, the dialogs' words). Those live in
# wagenlog/ and above.
#
#   check_layers.sh [ROOT]      ROOT defaults to the repository this script lives in
#
# Prints one line per violation ("file:line: #include ...: reason") and exits 1 when there is
# any, 0 otherwise. Needs only bash, find and grep.
set -uo pipefail

root=${1:-"$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"}
cd "$root" || exit 2

# The layer of a project path, or nothing when the path is in no layer.
layer_of() {
  case $1 in
    engine/foundation/*) echo foundation ;;
    engine/core/*) echo core ;;
    engine/disk/*) echo disk ;;
    dataset/*) echo dataset ;;
    wagenlog/*) echo wagenlog ;;
    app/*) echo app ;;
    tools/*) echo tools ;;
  esac
}

# The layers that `layer` may include, itself first.
allowed_layers() {
  case $1 in
    foundation) echo "foundation" ;;
    core) echo "core foundation" ;;
    disk) echo "disk core foundation" ;;
    dataset) echo "dataset disk core foundation" ;;
    wagenlog) echo "wagenlog dataset disk core foundation" ;;
    app) echo "app wagenlog dataset disk core foundation" ;;
    tools) echo "tools wagenlog dataset disk core foundation" ;;
  esac
}

is_dataset_dialog() {
  [[ $1 == dataset/dialogs/* || $1 == *_dialog.h || $1 == *_dialog.cpp ]]
}

violations=0
report() {
  echo "$1: $2"
  violations=$((violations + 1))
}

check_file() {
  local file=$1 layer line number text target
  layer=$(layer_of "$file")
  while IFS= read -r line; do
    number=${line%%:*}
    text=${line#*:}
    text=${text#"${text%%[![:space:]]*}"}  # the directive without leading blanks
    if [[ $text =~ ^#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
      target=${BASH_REMATCH[1]}
      local targetLayer
      targetLayer=$(layer_of "$target")
      if [[ -z $targetLayer ]]; then
        if [[ $target != */* ]]; then
          report "$file:$number" "$text: project headers are included by their path from the repository root"
        else
          report "$file:$number" "$text: $target is in no layer that $layer may include"
        fi
      elif [[ " $(allowed_layers "$layer") " != *" $targetLayer "* ]]; then
        report "$file:$number" "$text: $layer may not include $targetLayer (layers: foundation < core < disk < dataset < wagenlog < app, tools)"
      fi
    elif [[ $text =~ ^#[[:space:]]*include[[:space:]]*\<([^\>]+)\> ]]; then
      target=${BASH_REMATCH[1]}
      if [[ $target == Q* ]]; then
        if [[ $layer != app ]] && ! is_dataset_dialog "$file"; then
          report "$file:$number" "$text: Qt only in app/ and the dataset dialogs"
        fi
      elif [[ $target != *.* && $target != */* ]]; then
        :  # the C++ library
      elif [[ $target =~ ^(zlib\.h|bzlib\.h|cryptopp/.*|unicode/.*|[a-z]*intrin\.h)$ ]]; then
        if [[ $layer != foundation ]]; then
          report "$file:$number" "$text: a library of the foundation, used only there"
        fi
      elif [[ $file != engine/foundation/platform/* ]]; then
        report "$file:$number" "$text: system headers only in engine/foundation/platform"
      fi
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file")
}

# What names the program, matched case-sensitively as written (an engine text may well contain
# "wagenlog" in an address; the program's name is capitalised).
program_words='Brandstofkosten|Autogegevens|Wagenlog|wagenlog[.]qdx|Brandstof|Onderhoud|Verzekering'
program_words+='|Wegenbelasting|Afschrijving|Bevestiging|[Oo]pslaan|Annuleren|Zeker weten'

check_program_knowledge() {
  local file=$1 hit
  case $(layer_of "$file") in
    foundation | core | disk | dataset) ;;
    *) return ;;
  esac
  while IFS= read -r hit; do
    report "$file:${hit%%:*}" "\"${hit#*:}\": the program's name, tables and Dutch texts belong in wagenlog/ and above"
  done < <(grep -noE "$program_words" "$file")
}

while IFS= read -r file; do
  check_file "$file"
  check_program_knowledge "$file"
done < <(find engine/foundation engine/core engine/disk dataset wagenlog app tools -type f \
              \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.cc' -o -name '*.inc' \) \
              2>/dev/null | sort)

if ((violations > 0)); then
  echo "$violations violation(s) of the layer rules of docs/ARCHITECTURE.md"
  exit 1
fi
exit 0
