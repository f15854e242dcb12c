#!/usr/bin/env bash
# Runs check_layers.sh on a small tree made up here: every include that breaks a rule must be
# named with its file and line, and every allowed one must pass.
set -uo pipefail

checker="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/check_layers.sh"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

put() {  # put FILE LINE...: writes the lines as FILE in the tree
  local file=$1
  shift
  mkdir -p "$tree/$(dirname "$file")"
  printf '%s\n' "$@" >"$tree/$file"
}

put engine/foundation/memory.h '#include <cstdint>' '#include <zlib.h>' '#include <immintrin.h>' \
  '#include "engine/foundation/except.h"'
put engine/foundation/platform/file.cpp '#include <fcntl.h>' '#include <sys/stat.h>'
put engine/foundation/stream.cpp '#include <unistd.h>' '  #  include "engine/core/page.h"'
put engine/core/page.h '#include "engine/foundation/memory.h"' '#include "engine/disk/database_file.h"' \
  '#include <unicode/ucol.h>'
put engine/disk/file.cpp '#include "engine/core/page.h"' '#include "dataset/session.h"' \
  '#include <QString>'
put dataset/session.cpp '#include "engine/disk/file.h"' '#include "app/main_window.h"' \
  '#include "local.h"'
put dataset/dialogs/login.cpp '#include <QDialog>' '#include "dataset/session.h"'
put dataset/password_dialog.h '#include <QLineEdit>'
put app/main_window.cpp '#include <QWidget>' '#include "dataset/session.h"' \
  '#include "tools/qdx/qdx_commands.h"' '#include <stdio.h>'
put tools/qdx/main.cpp '#include "dataset/session.h"' '#include "app/main_window.h"' \
  '#include "tests/support.h"' '#include "wagenlog/schema.h"'
put wagenlog/schema.cpp '#include "dataset/session.h"' '#include "app/main_window.h"' \
  '#include <QString>' 'const char* kTable = "Brandstofkosten";'
put dataset/table.cpp '#include "wagenlog/schema.h"' '// Opens "Autogegevens" of Wagenlog.' \
  'const char* kFile = "wagenlog.qdx";'
put dataset/dialogs/ask.cpp '#include <QMessageBox>' 'Ask("Bevestiging", "Alle Records leeg maken?? Zeker weten?");'
put engine/core/category.h 'bool IsFuel(std::u16string_view c) { return c == u"Brandstof"; }' \
  '// Mail support@wagenlog.example; the field KMStand.'

expected=(
  "app/main_window.cpp:3: #include \"tools/qdx/qdx_commands.h\": app may not include tools"
  "app/main_window.cpp:4: #include <stdio.h>: system headers only in engine/foundation/platform"
  "dataset/session.cpp:2: #include \"app/main_window.h\": dataset may not include app"
  "dataset/session.cpp:3: #include \"local.h\": project headers are included by their path"
  "engine/core/page.h:2: #include \"engine/disk/database_file.h\": core may not include disk"
  "engine/core/page.h:3: #include <unicode/ucol.h>: a library of the foundation"
  "engine/disk/file.cpp:2: #include \"dataset/session.h\": disk may not include dataset"
  "engine/disk/file.cpp:3: #include <QString>: Qt only in app/ and the dataset dialogs"
  "engine/foundation/stream.cpp:1: #include <unistd.h>: system headers only in engine/foundation/platform"
  "engine/foundation/stream.cpp:2: #  include \"engine/core/page.h\": foundation may not include core"
  "tools/qdx/main.cpp:2: #include \"app/main_window.h\": tools may not include app"
  "tools/qdx/main.cpp:3: #include \"tests/support.h\": tests/support.h is in no layer"
  "wagenlog/schema.cpp:2: #include \"app/main_window.h\": wagenlog may not include app"
  "wagenlog/schema.cpp:3: #include <QString>: Qt only in app/ and the dataset dialogs"
  "dataset/table.cpp:1: #include \"wagenlog/schema.h\": dataset may not include wagenlog"
  "dataset/table.cpp:2: \"Autogegevens\": the program's name, tables and Dutch texts"
  "dataset/table.cpp:2: \"Wagenlog\": the program's name"
  "dataset/table.cpp:3: \"wagenlog.qdx\": the program's name"
  "dataset/dialogs/ask.cpp:2: \"Bevestiging\": the program's name"
  "dataset/dialogs/ask.cpp:2: \"Zeker weten\": the program's name"
  "engine/core/category.h:1: \"Brandstof\": the program's name"
)

output=$("$checker" "$tree")
status=$?
failed=0
if ((status != 1)); then
  echo "expected exit status 1 on a tree with violations, got $status"
  failed=1
fi
for line in "${expected[@]}"; do
  if ! grep -qF -- "$line" <<<"$output"; then
    echo "not reported: $line"
    failed=1
  fi
done
# Exactly the expected violations, plus the summary line.
if (($(grep -c . <<<"$output") != ${#expected[@]} + 1)); then
  echo "unexpected reports:"
  printf '%s\n' "$output"
  failed=1
fi

# The same tree without its violations passes.
rm -rf "$tree"/*
put engine/core/page.h '#include "engine/foundation/memory.h"' '#include <vector>'
put dataset/dialogs/login.cpp '#include <QDialog>'
put app/main_window.cpp '#include <QWidget>' '#include "dataset/session.h"' \
  '#include "wagenlog/schema.h"' 'setWindowTitle("Wagenlog");'
put tools/qdx/main.cpp '#include "wagenlog/schema.h"' '#include "dataset/session.h"'
put wagenlog/schema.cpp '#include "dataset/qdx_table.h"' 'const char* kTable = "Brandstofkosten";'
put engine/foundation/messages.h '// Mail support@wagenlog.example with this issue.'
if ! output=$("$checker" "$tree"); then
  echo "a clean tree was refused:"
  printf '%s\n' "$output"
  failed=1
fi
exit $failed
