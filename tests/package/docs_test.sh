#!/usr/bin/env bash
# The manual pages and the bash completion made from the usage table, from the build tree:
# every option of `tabulo COMMAND --help` is on the command's page and offered by the
# completion, the pages format without warnings and are found by `man`, option values and
# file arguments complete; and the package's version (debian/changelog) is the program's.
# usage: docs_test.sh TABULO DOCS_DIR SOURCE_DIR
set -uo pipefail
tabulo=$1
docs=$(readlink -f "$2")
source_dir=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

version=$("$tabulo" --version | sed -n 's/^tabulo //p')
changelog=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)
[ "$version" = "$changelog" ] ||
  fail "tabulo --version says '$version', debian/changelog '$changelog': give both the same"

commands=$("$tabulo" --help | sed -n '/^commands:/,$ s/^  \([a-z-]*\) .*/\1/p')
[ "$(echo "$commands" | wc -l)" -ge 12 ] || fail "the program's help lists too few commands"
man -l "$docs/man1/tabulo.1" >"$work/program.txt" 2>/dev/null || fail "tabulo.1 does not format"
for c in $commands; do
  page=$docs/man1/tabulo-$c.1
  [ -f "$page" ] || fail "no manual page for $c"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >"$work/page.txt")
  [ -z "$warnings" ] || fail "tabulo-$c.1 formats with warnings: $warnings"
  grep -q "^NAME" "$work/page.txt" && grep -q "^ *tabulo-$c - [a-z]" "$work/page.txt" ||
    fail "tabulo-$c.1 has no NAME line: $(head -5 "$work/page.txt")"
  "$tabulo" "$c" --help >"$work/help.txt"
  options=$(grep -o -- '--[a-z][a-z-]*' "$work/help.txt" | sort -u)
  for o in $options --help; do
    grep -q -- "$o" "$work/page.txt" || fail "tabulo-$c.1 lacks $o"
  done
  # The page's description is the help's, word for word.
  first=$(awk '/^  [^ -]/ { print; exit }' "$work/help.txt" | sed 's/^ *//' | cut -d' ' -f1-5)
  tr -s ' \n' ' ' <"$work/page.txt" | grep -qF -- "$first" ||
    fail "tabulo-$c.1 lacks the description '$first'"
  grep -q "tabulo-$c(1)" "$work/program.txt" || fail "tabulo.1 does not point to tabulo-$c(1)"
done
MANPATH=$docs man -w tabulo-serve | grep -q "man1/tabulo-serve.1$" || fail "man does not find tabulo-serve"

# Completion: COMP_WORDS as bash sets them; the reply, sorted, on one line.
complete_line() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _tabulo
           for w in "${COMPREPLY[@]}"; do echo "$w"; done | sort | tr "\n" " "' _ "$docs/bash-completion/tabulo" "$@"
}
bash -c "source '$docs/bash-completion/tabulo'; complete -p tabulo" | grep -q -- "-F _tabulo tabulo$" ||
  fail "the completion does not register _tabulo for tabulo"
check() {
  local want=$1
  shift
  local got
  got=$(complete_line "$@")
  [ "$got" = "$want" ] || fail "completing '$*': got '$got', expected '$want'"
}
check "sample-db script serve show strings " tabulo s
check "--help --version " tabulo --
check "csv json " tabulo export --db x.db --format ""
check "csv json " tabulo audit --format ""
check "de-DE " tabulo serve --locale d
check "1031 1033 1036 " tabulo browse --ui-lang 10
check "yes " tabulo show --answer y
check "--token-file " tabulo serve --to
check "--help " tabulo strings --
check "--save --set --sign-in --sql " tabulo serve --s
check "" tabulo serve --port ""
mkdir -p "$work/files" && touch "$work/files/plant.db" "$work/files/plant.ctl"
check "$work/files/plant.ctl $work/files/plant.db " tabulo browse --load "$work/files/pl"
check "$work/files/plant.db " tabulo sample-db "$work/files/plant.d"
check "$work/files/plant.ctl " tabulo serve --token-file "$work/files/plant.c"
for c in $commands; do
  offered=$(complete_line tabulo "$c" --)
  for o in $("$tabulo" "$c" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    [[ " $offered " == *" $o "* ]] || fail "completing 'tabulo $c --' does not offer $o"
  done
done
echo "docs_test: manual pages and completion of $(echo $commands | wc -w) commands checked"
