#!/usr/bin/env bash
# The Debian package, as a user gets it: builds it with CPack from the build tree, checks its
# dependencies and contents, unpacks it into a temporary root (dpkg -x) and runs the programs
# from there: qdx --help, the program's first start (which makes the database in the user's data
# folder), a second start that finds it, and a portable copy that keeps its database beside it.
#
#   deb_package_test.sh BUILD_DIR
#
# Exits 77 (skipped) where dpkg's tools are missing.
set -uo pipefail
build=$1

for tool in dpkg-deb dpkg-shlibdeps; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed (the package needs dpkg-dev)"
    exit 77
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# --- the package --------------------------------------------------------------------------
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack could not build the package"
  exit 1
fi
deb=$(find "$work/out" -maxdepth 1 -name 'wagenlog_*.deb' | head -n 1)
[[ -n $deb ]] || { echo "FAIL: no wagenlog_*.deb in $work/out"; exit 1; }

# The dependencies come from the linked shared libraries.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6 zlib1g libbz2-1.0; do
  [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for file in ./usr/bin/wagenlog ./usr/bin/qdx \
    ./usr/share/applications/nl.wagenlog.Wagenlog.desktop \
    ./usr/share/metainfo/nl.wagenlog.Wagenlog.metainfo.xml \
    ./usr/share/icons/hicolor/scalable/apps/wagenlog.svg \
    ./usr/share/icons/hicolor/16x16/apps/wagenlog.png \
    ./usr/share/icons/hicolor/256x256/apps/wagenlog.png \
    ./usr/share/man/man1/wagenlog.1.gz ./usr/share/man/man1/qdx.1.gz \
    ./usr/share/bash-completion/completions/qdx \
    ./usr/share/doc/wagenlog/copyright ./usr/share/doc/wagenlog/changelog.gz; do
  grep -qxF "$file" <<<"$contents" || fail "the package lacks $file"
done

# --- the unpacked programs ------------------------------------------------------------------
root=$work/root
dpkg -x "$deb" "$root" || { echo "FAIL: dpkg -x"; exit 1; }
qdx=$root/usr/bin/qdx
wagenlog=$root/usr/bin/wagenlog

"$qdx" --help >"$work/help.txt" 2>&1 || fail "qdx --help exits $?"
grep -q '^Usage: qdx COMMAND FILE' "$work/help.txt" || fail "qdx --help: $(head -n 3 "$work/help.txt")"

# Starts the unpacked program offscreen for a user whose home is $1; stderr goes to $2.
start() {
  env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$1" QT_QPA_PLATFORM=offscreen \
    "${3:-$wagenlog}" --start-and-quit 2>"$2"
}

home=$work/home
mkdir -p "$home"
database=$home/.local/share/Wagenlog/wagenlog.qdx
start "$home" "$work/first.err" || fail "first start exits $?: $(cat "$work/first.err")"
grep -q "Er is nog geen database" "$work/first.err" || fail "first start asked nothing"
[[ -f $database ]] || fail "first start made no $database"
tables=$("$qdx" tables "$database" 2>&1)
[[ $tables == *Brandstofkosten* && $tables == *Autogegevens* ]] || fail "the new database's tables: $tables"
[[ ! -e $root/usr/bin/wagenlog.qdx ]] || fail "a database was made beside the installed program"

start "$home" "$work/second.err" || fail "second start exits $?: $(cat "$work/second.err")"
grep -q "Er is nog geen database" "$work/second.err" && fail "second start asked again"
[[ -f $home/.config/wagenlog/placement.ini ]] || fail "no window placement in the user's config folder"

# A portable copy: the program and its database in one writable folder.
portable=$work/portable
mkdir -p "$portable"
cp "$wagenlog" "$qdx" "$portable/"
"$portable/qdx" create "$portable/wagenlog.qdx" --schema wagenlog >/dev/null || fail "qdx create"
other=$work/other-home
mkdir -p "$other"
start "$other" "$work/portable.err" "$portable/wagenlog" ||
  fail "portable start exits $?: $(cat "$work/portable.err")"
[[ ! -e $other/.local/share/Wagenlog ]] || fail "the portable copy made the user's data folder"
[[ -f $portable/wagenlog.ini ]] || fail "the portable copy keeps no placement beside itself"

exit $((failures > 0))
