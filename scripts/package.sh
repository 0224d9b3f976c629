#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian packages loomwise-batch and loomwise from debian/ as
# Debian does (dpkg-buildpackage -us -uc -b), twice, each time in a copy of
# the source of its own in another directory, and checks them: the two builds
# byte for byte the same, lintian --pedantic clean, hardening-check on both
# programs, no build path in them, nothing Qt among all that loomwise-batch
# brings, the desktop program's dependencies, --version agreeing with
# debian/changelog, the README and examples installed, the desktop entry and
# metainfo valid, the manual pages without warnings, bash completion, the
# first run, apt's view of the dependencies. Installs what it needs with
# apt-get. The packages land in build/ (or $LOOMWISE_BUILD_DIR); the build
# trees stay in a temporary directory, so neither the work tree nor the build
# in build/ changes.
#
#   scripts/package.sh       then: sudo apt install ./build/loomwise-batch_*.deb ./build/loomwise_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build="${LOOMWISE_BUILD_DIR:-build}"

scripts/install-deps.sh help2man debhelper dpkg-dev devscripts ccache binutils gzip file \
  lintian desktop-file-utils appstream man-db bash-completion

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The tree as git has it, edits not yet committed included: the files git
# tracks or has staged, never a build tree.
source_commit="$(GIT_AUTHOR_NAME=package.sh GIT_AUTHOR_EMAIL=none GIT_COMMITTER_NAME=package.sh \
  GIT_COMMITTER_EMAIL=none git stash create)"
source_commit="${source_commit:-HEAD}"

# Only the release build of what the packages hold; the second build, in
# another directory, takes the first one's objects from ccache, which is why
# the directory is kept out of its keys (the compiler maps it away anyway).
export DEB_BUILD_OPTIONS="nocheck parallel=${LOOMWISE_JOBS:-2}"
export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$work" CCACHE_NOHASHDIR=1
# Named before the build, which debhelper gives a HOME of its own (a cache
# there would be gone with the tree).
CCACHE_DIR="${CCACHE_DIR:-$(ccache -k cache_dir)}"
export CCACHE_DIR
build_packages() {  # build_packages DIR: the packages of the tree copied to DIR/loomwise
  mkdir -p "$1/loomwise"
  # -m: files as new as the copy, so that no timestamp of the tree can pass
  # unnoticed into both builds alike.
  git archive "$source_commit" | tar -x -m -C "$1/loomwise"
  local start=$SECONDS
  if ! (cd "$1/loomwise" && dpkg-buildpackage -us -uc -b) >"$1/build.log" 2>&1; then
    tail -n 40 "$1/build.log" >&2
    echo "package.sh: dpkg-buildpackage failed in $1 (its last lines above)" >&2
    exit 1
  fi
  echo "Built in $1 in $((SECONDS - start)) s"
}
build_packages "$work/one"
build_packages "$work/another/directory"

failed=0
check() {  # check NAME COMMAND...: runs it, says how it went, remembers a failure
  local name="$1"
  shift
  if "$@"; then
    echo "ok: $name"
  else
    echo "FAILED: $name" >&2
    failed=1
  fi
}

same_builds() {  # every package of one build, byte for byte as in the other
  local deb same=0
  for deb in "$work"/one/*.deb; do
    cmp "$deb" "$work/another/directory/${deb##*/}" || same=1
  done
  [ "$same" -eq 0 ] || echo "compare them with diffoscope to see where" >&2
  return "$same"
}
check "two builds in two directories are the same" same_builds

version="$(dpkg-parsechangelog -l debian/changelog -S Version)"
arch="$(dpkg --print-architecture)"
batch_deb="$work/one/loomwise-batch_${version}_${arch}.deb"
desktop_deb="$work/one/loomwise_${version}_${arch}.deb"
for deb in "$batch_deb" "$desktop_deb"; do
  [ -f "$deb" ] || { echo "package.sh: dpkg-buildpackage made no ${deb##*/}" >&2; exit 1; }
done
batch="$work/batch"
desktop="$work/desktop"
dpkg-deb -x "$batch_deb" "$batch"
dpkg-deb -x "$desktop_deb" "$desktop"

check "lintian --pedantic (no tag at all)" lintian --pedantic --display-info \
  --fail-on error,warning,info,pedantic "$work/one/loomwise_${version}_${arch}.changes"
# Not control flow protection: Debian 12's C start files lack the CET mark,
# so the linker drops it from every program linked there, whatever its flags.
check "hardening-check" hardening-check --nocfprotection \
  "$batch/usr/bin/loomwise-batch" "$desktop/usr/bin/loomwise"
no_build_path() {  # neither build's directory is named in any installed file
  local found
  found="$(grep -rlaF -e "$work" "$batch" "$desktop" || true)"
  found+="$(strings -a "$batch/usr/bin/loomwise-batch" "$desktop/usr/bin/loomwise" | grep -F "$work" || true)"
  [ -z "$found" ] || { printf 'a build path in: %s\n' "$found" >&2; return 1; }
}
check "no build path in the packages" no_build_path
depends() { dpkg-deb -f "$1" Depends | tr ',' '\n' | sed 's/^ *//'; }
# What apt installs with loomwise-batch on a system that has nothing, as far
# down as dependencies go: a server or a CI job must not get Qt with it.
qt_free() {
  local needs closure qt
  mapfile -t needs < <(depends "$batch_deb" | tr '|' '\n' | sed 's/^ *//; s/[ (].*//')
  closure="$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances "${needs[@]}" | grep -v '^ ' | sort -u)"
  grep -qx 'libc6' <<<"$closure" ||
    { echo "apt-cache does not know the dependencies: run apt-get update" >&2; return 1; }
  qt="$(grep -i 'qt' <<<"$closure" || true)"
  [ -z "$qt" ] || { printf 'loomwise-batch brings %s\n' $qt >&2; return 1; }
}
check "loomwise-batch brings no Qt" qt_free
# Setup reads the rules through Qt's SQLite driver, which no library brings.
check "loomwise depends on Qt's SQLite driver" grep -qx 'libqt6sql6-sqlite' <(depends "$desktop_deb")
check "loomwise depends on this loomwise-batch" \
  grep -qx "loomwise-batch (= $version)" <(depends "$desktop_deb")
same_version() {  # PROGRAM: its --version names the changelog's version
  local got
  got="$("$1" --version | head -n 1)"
  [ "$got" = "${1##*/} $version" ] || { echo "$1 --version says '$got'" >&2; return 1; }
}
check "loomwise-batch --version is debian/changelog's" same_version "$batch/usr/bin/loomwise-batch"
check "loomwise --version is debian/changelog's" same_version "$desktop/usr/bin/loomwise"
check "README and examples in /usr/share/doc" test -f "$batch/usr/share/doc/loomwise-batch/README.md.gz" \
  -a -f "$batch/usr/share/doc/loomwise-batch/examples/walks.txt"

check "desktop-file-validate" desktop-file-validate "$desktop"/usr/share/applications/loomwise.desktop
check "appstreamcli validate" appstreamcli validate --no-net "$desktop"/usr/share/metainfo/*.metainfo.xml
man_clean() {  # man prints its warnings on stderr; any is a failure
  local warnings
  warnings="$(MANWIDTH=80 man --warnings -E UTF-8 -l "$1" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || { printf '%s\n' "$warnings" >&2; return 1; }
}
check "manual page of loomwise-batch" test -f "$batch/usr/share/man/man1/loomwise-batch.1.gz"
check "manual page of loomwise" test -f "$desktop/usr/share/man/man1/loomwise.1.gz"
for page in "$batch"/usr/share/man/man1/*.1.gz "$desktop"/usr/share/man/man1/*.1.gz; do
  check "man --warnings ${page##*/}" man_clean "$page"
done

# The completion in a shell: options from --help, .mdb and .json files and
# directories where the arguments want them.
completes() {  # completes WANT WORD...: the completions of the last word
  local want="$1"
  shift
  local got
  got="$(cd "$work/try" && PATH="$batch/usr/bin:$PATH" bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$0"
    COMP_WORDS=(loomwise-batch "$@"); COMP_CWORD=$#
    COMP_LINE="${COMP_WORDS[*]}"; COMP_POINT=${#COMP_LINE}
    _loomwise_batch loomwise-batch "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' \
    "$batch"/usr/share/bash-completion/completions/loomwise-batch "$@")"
  [ "$got" = "$want" ] || { echo "completing '$*' gave '$got', not '$want'" >&2; return 1; }
}
mkdir -p "$work/try/texts"
touch "$work/try/"{rules.mdb,rules.json,notes.txt}
check "completion of options" completes "--rules " --ru
check "completion of --rules" completes "rules.mdb texts " --rules ""
check "completion of --import-rules" completes "rules.json texts " --import-rules ""
check "completion of directories" completes "texts " ""
# As installed: the first run makes the user's own copy of the bundled rules.
first_run() {
  mkdir -p "$work/site"
  XDG_DATA_HOME="$work/data" "$batch"/usr/bin/loomwise-batch --quiet \
    "$batch"/usr/share/doc/loomwise-batch/examples "$work/site" &&
    cmp "$batch"/usr/share/loomwise/loomwise.mdb "$work/data/loomwise/loomwise.mdb" &&
    test -f "$work/site/index.html"
}
check "first run makes the user's rules" first_run
installable() { apt-get install --simulate -qq "$@" >/dev/null; }
check "loomwise-batch installable alone" installable "$batch_deb"
check "both installable" installable "$batch_deb" "$desktop_deb"

if [ "$failed" -ne 0 ]; then
  echo "package.sh: the packages have problems (see above)" >&2
  exit 1
fi
mkdir -p "$build"
rm -f "$build"/loomwise_*.deb "$build"/loomwise-batch_*.deb
cp "$batch_deb" "$desktop_deb" "$build"/
echo "Install them with: sudo apt install ./$build/${batch_deb##*/} ./$build/${desktop_deb##*/}"
