#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package loomwise_<version>_<arch>.deb in build/ (reusing
# the build there when present) and checks it the way Debian would: lintian
# (no errors), desktop-file-validate on the desktop entry, appstreamcli
# validate on the metainfo, man --warnings on both manual pages, and apt's
# view of its dependencies. Installs what it needs with apt-get.
#
#   scripts/package.sh       then: sudo apt install ./build/loomwise_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build="${LOOMWISE_BUILD_DIR:-build}"

scripts/install-deps.sh help2man gzip file dpkg-dev lintian desktop-file-utils appstream man-db \
  bash-completion

scripts/build.sh
rm -f "$build"/loomwise_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/loomwise_*.deb)
[ -f "${debs[0]}" ] || { echo "package.sh: cpack made no package" >&2; exit 1; }
deb="${debs[0]}"
echo "Package: $deb"

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

tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"

check "lintian (no errors)" lintian --fail-on error "$deb"
check "desktop-file-validate" desktop-file-validate "$tree"/usr/share/applications/loomwise.desktop
check "appstreamcli validate" appstreamcli validate --no-net "$tree"/usr/share/metainfo/*.metainfo.xml
man_clean() {  # man prints its warnings on stderr; any is a failure
  local warnings
  warnings="$(MANWIDTH=80 man --warnings -E UTF-8 -l "$1" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || { printf '%s\n' "$warnings" >&2; return 1; }
}
for page in "$tree"/usr/share/man/man1/*.1.gz; do
  check "man --warnings ${page##*/}" man_clean "$page"
done
for program in loomwise-batch loomwise; do
  check "manual page of $program" test -f "$tree/usr/share/man/man1/$program.1.gz"
done
# The completion in a shell: options from --help, .mdb and .json files and
# directories where the arguments want them.
completes() {  # completes WANT WORD...: the completions of the last word
  local want="$1"
  shift
  local got
  got="$(cd "$tree/try" && PATH="$tree/usr/bin:$PATH" bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$0"
    COMP_WORDS=(loomwise-batch "$@"); COMP_CWORD=$#
    COMP_LINE="${COMP_WORDS[*]}"; COMP_POINT=${#COMP_LINE}
    _loomwise_batch loomwise-batch "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' \
    "$tree"/usr/share/bash-completion/completions/loomwise-batch "$@")"
  [ "$got" = "$want" ] || { echo "completing '$*' gave '$got', not '$want'" >&2; return 1; }
}
mkdir -p "$tree/try/texts"
touch "$tree/try/"{rules.mdb,rules.json,notes.txt}
check "completion of options" completes "--rules " --ru
check "completion of --rules" completes "rules.mdb texts " --rules ""
check "completion of --import-rules" completes "rules.json texts " --import-rules ""
check "completion of directories" completes "texts " ""
# As installed: the first run makes the user's own copy of the bundled rules.
first_run() {
  mkdir -p "$tree/site"
  XDG_DATA_HOME="$tree/data" "$tree"/usr/bin/loomwise-batch --quiet examples "$tree/site" &&
    cmp "$tree"/usr/share/loomwise/loomwise.mdb "$tree/data/loomwise/loomwise.mdb" &&
    test -f "$tree/site/index.html"
}
check "first run makes the user's rules" first_run
installable() { apt-get install --simulate -qq "$PWD/$deb" >/dev/null; }
check "dependencies installable" installable

if [ "$failed" -ne 0 ]; then
  echo "package.sh: the package has problems (see above)" >&2
  exit 1
fi
echo "Install it with: sudo apt install ./$deb"
