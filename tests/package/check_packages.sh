#!/usr/bin/env bash
# The built Debian packages as an administrator meets them: lintian finds no errors; the
# packages hold what they should, with dependencies from dpkg-shlibdeps; the service unit
# passes systemd-analyze. Then, as root: installed with apt-get, the program, its manual
# pages, completion, service starter and the -dev package (pkg-config, a program linked
# against the library) used from the installed paths, the demo run there; reinstalled
# (an upgrade keeps configuration and state); removed, then purged, leaving nothing of ours.
# usage: check_packages.sh PACKAGE_DIR
set -uo pipefail
dir=$(readlink -f "$1")
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "== $*"; }

version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
deb() { echo "$dir/${1}_${version}_${arch}.deb"; }
for p in tabulo libtabulo0 libtabulo-dev; do
  [ -f "$(deb "$p")" ] || fail "no $(deb "$p"): run make package"
done
debs=("$(deb tabulo)" "$(deb libtabulo0)" "$(deb libtabulo-dev)")

step "packages"
for f in "$dir"/*.deb; do
  printf '  %-40s %8s bytes, installed %6s KiB\n' "$(basename "$f")" "$(stat -c %s "$f")" \
    "$(dpkg-deb -f "$f" Installed-Size)"
done

step "lintian"
lintian --fail-on error --tag-display-limit 0 "${debs[@]}" >"$work/lintian.txt" 2>&1
status=$?
cat "$work/lintian.txt"
[ "$status" = 0 ] || fail "lintian reports errors (exit $status)"
grep -q "^E:" "$work/lintian.txt" && fail "lintian reports errors"

step "contents and dependencies"
contents() { dpkg-deb -c "$(deb "$1")" | awk '{ print $6 }' | sed 's|^\./|/|'; }
contents tabulo >"$work/tabulo.list"
contents libtabulo0 >"$work/lib.list"
contents libtabulo-dev >"$work/dev.list"
for f in /usr/bin/tabulo /usr/share/man/man1/tabulo.1.gz /usr/share/man/man1/tabulo-serve.1.gz \
  /usr/share/bash-completion/completions/tabulo /lib/systemd/system/tabulo-serve@.service \
  /usr/libexec/tabulo/tabulo-serve-instance /usr/libexec/tabulo/tabulo-serve \
  /usr/share/doc/tabulo/examples/display.conf \
  /usr/share/tabulo/resources.txt; do
  grep -qx -- "$f" "$work/tabulo.list" || fail "tabulo lacks $f"
done
grep -qx "/usr/lib/$multiarch/libtabulo.so.0" "$work/lib.list" || fail "libtabulo0 lacks its SONAME link"
for f in /usr/include/tabulo/library/library.h "/usr/lib/$multiarch/libtabulo.so" \
  "/usr/lib/$multiarch/pkgconfig/tabulo.pc"; do
  grep -qx -- "$f" "$work/dev.list" || fail "libtabulo-dev lacks $f"
done
depends=$(dpkg-deb -f "$(deb tabulo)" Depends)
for d in "libtabulo0 (= $version)" libc6 libsqlite3-0 libpq5 libodbc2 libssl3 libncursesw6; do
  [[ $depends == *"$d"* ]] || fail "tabulo's Depends lacks $d: $depends"
done

step "service unit"
dpkg-deb -x "$(deb tabulo)" "$work/root"
unit=$work/root/lib/systemd/system/tabulo-serve@.service
security=$(systemd-analyze security --offline=true "$unit" 2>&1)
echo "$security" | tail -n 1
score=$(echo "$security" | sed -n 's/.*Overall exposure level for .*: \([0-9.]*\) .*/\1/p')
[ -n "$score" ] || fail "systemd-analyze security gave no score: $security"
awk -v s="$score" 'BEGIN { exit !(s <= 2.0) }' || fail "the service's exposure is $score, above 2.0"

if [ "$(id -u)" -ne 0 ]; then
  echo "check_packages: install, use and removal need root; skipped (lintian and contents checked)"
  exit 0
fi

step "install"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "${debs[@]}" >"$work/apt.txt" 2>&1 || fail "apt-get install: $(cat "$work/apt.txt")"
trap 'dpkg --purge tabulo libtabulo-dev libtabulo0 >/dev/null 2>&1; rm -rf "$work"' EXIT
dpkg -L tabulo libtabulo0 libtabulo-dev | sort -u >"$work/installed.list"
[ "$(/usr/bin/tabulo --version)" = "tabulo $version" ] || fail "/usr/bin/tabulo --version: $(/usr/bin/tabulo --version)"
man -w tabulo-serve | grep -q "^/usr/share/man/man1/tabulo-serve.1.gz$" || fail "man -w tabulo-serve"
MANWIDTH=100 man tabulo-serve 2>/dev/null | grep -q -- "--token-file FILE" || fail "man tabulo-serve lacks --token-file"
got=$(bash -c 'source /usr/share/bash-completion/completions/tabulo; COMP_WORDS=(tabulo export --format "")
  COMP_CWORD=3; _tabulo; echo "${COMPREPLY[*]}"')
[ "$got" = "csv json" ] || fail "the installed completion offers '$got' for export --format"
verify=$(systemd-analyze verify /lib/systemd/system/tabulo-serve@.service 2>&1) ||
  fail "systemd-analyze verify: $verify"
[ -z "$verify" ] || fail "systemd-analyze verify warns: $verify"

step "demo from the installed paths"
export HOME=$work/home XDG_STATE_HOME=$work/state XDG_CONFIG_HOME=$work/config
mkdir -p "$HOME" && cd "$work"
sql="SELECT Id, Customer, Qty FROM Orders WHERE Qty < 400"
tabulo sample-db sample.db >/dev/null || fail "sample-db"
tabulo show --db sample.db --sql "$sql" --size 60x6 >out.txt || fail "show"
grep -q "Acme" out.txt || fail "show printed no rows: $(cat out.txt)"
tabulo show --db sample.db --sql "$sql" --size 60x6 --edit 0,2=123 \
  --answer sign demo demo Correction --log-event >out.txt 2>err.txt || fail "the signed edit: $(cat err.txt)"
tabulo audit | grep -q "Correction" || fail "the edit has no audit record"
tabulo audit --verify >/dev/null || fail "audit --verify"
if [ -d /usr/share/tabulo ]; then
  echo "resource files: $(ls /usr/share/tabulo)"
fi
tabulo register --registry reg.json >/dev/null || fail "register"
grep -q "/usr/lib/$multiarch/libtabulo.so.0" reg.json || fail "register names another library: $(cat reg.json)"

# The service's starter: the configuration's words, quotes grouping a statement; and the
# message when the configuration sets nothing.
status=0
TABULO_SERVE_ARGS="--db sample.db --sql 'SELECT Id, Customer FROM Orders' --set Nope=1" \
  /usr/libexec/tabulo/tabulo-serve-instance demo >out.txt 2>err.txt || status=$?
[ "$status" = 2 ] && grep -q "unknown member 'Nope'" err.txt ||
  fail "the starter passed other arguments (exit $status): $(cat err.txt)"
status=0
TABULO_SERVE_ARGS= /usr/libexec/tabulo/tabulo-serve-instance demo 2>err.txt || status=$?
[ "$status" = 2 ] && grep -q "/etc/tabulo/demo.conf sets no TABULO_SERVE_ARGS" err.txt ||
  fail "the starter without arguments (exit $status): $(cat err.txt)"

# The -dev package: a program built with pkg-config against the installed library.
cat >client.cc <<'EOF'
#include <cstdio>
#include <cstring>

#include "library/library.h"

int main() {
  tabulo::library::ClassFactory* factory = nullptr;
  if (TabuloGetClassObject("Nobody.Nothing", &factory) != tabulo::library::kClassNotAvailable)
    return 1;
  if (TabuloGetClassObject("VELTRA.TabuloCtl", &factory) != tabulo::library::kSOk || !factory)
    return 2;
  std::printf("%s %s %d\n", factory->ProgId().c_str(), factory->ClassId().c_str(),
              TabuloCanUnloadNow());
  return 0;
}
EOF
# shellcheck disable=SC2046
g++ -std=c++20 -o client client.cc $(pkg-config --cflags --libs tabulo) 2>err.txt ||
  fail "building against libtabulo-dev: $(cat err.txt)"
./client >out.txt || fail "the client program exit $?"
grep -Eq '^VELTRA.TabuloCtl \{[0-9A-Fa-f-]{36}\} 0$' out.txt || fail "the client printed $(cat out.txt)"
ldd client | grep -Eq "libtabulo.so.0 => (/usr)?/lib/$multiarch/libtabulo.so.0" || fail "client links $(ldd client)"

step "upgrade keeps configuration and state"
mkdir -p /etc/tabulo /var/lib/private/tabulo/demo
echo 'TABULO_SERVE_ARGS="--db sample.db --sql '"'SELECT 1'"'"' >/etc/tabulo/demo.conf
touch /var/lib/private/tabulo/demo/audit.db
dpkg -i "${debs[@]}" >"$work/dpkg.txt" 2>&1 || fail "reinstalling: $(cat "$work/dpkg.txt")"
[ -f /etc/tabulo/demo.conf ] && [ -f /var/lib/private/tabulo/demo/audit.db ] ||
  fail "reinstalling lost /etc/tabulo/demo.conf or the state"

step "remove and purge"
dpkg -r libtabulo-dev tabulo libtabulo0 >"$work/dpkg.txt" 2>&1 || fail "dpkg -r: $(cat "$work/dpkg.txt")"
while read -r f; do
  [ -e "$f" ] && [ ! -d "$f" ] && fail "dpkg -r left $f"
done <"$work/installed.list"
[ -f /etc/tabulo/demo.conf ] || fail "dpkg -r removed the configuration (only purge may)"
dpkg --purge libtabulo-dev tabulo libtabulo0 >"$work/dpkg.txt" 2>&1 || fail "dpkg --purge: $(cat "$work/dpkg.txt")"
for f in /etc/tabulo /var/lib/tabulo /var/lib/private/tabulo /usr/share/tabulo /usr/libexec/tabulo \
  /usr/include/tabulo; do
  [ -e "$f" ] && fail "purge left $f"
done
echo "check_packages: passed"
