#!/usr/bin/env bash
# Checks what a user gets from an installation, with the build in ./build:
# 1. `cmake --install` to a temporary prefix made read-only: the programs run
#    without a workbook on the user's own copy and nothing under the prefix
#    changes (compared by content, as root ignores the missing write bits);
#    the manual page, the bash completion and the Python package are there.
# 2. `cpack -G DEB`: the package holds the same files; unpacked with dpkg-deb -x
#    into a throw-away root (not installed: CI may not own the machine's /usr),
#    its program runs the main job and Debian's Python imports its module.
# 3. `pip install --no-build-isolation .` into a venv with the system's
#    packages, then the README's Python examples run as written.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
fail() { echo "check_install: $*" >&2; exit 1; }
fingerprint() { (cd "$1" && find . -printf '%p %y %m %s\n' | sort && find . -type f -exec sha256sum {} + | sort); }

echo "== cmake --install to a read-only prefix"
prefix=$work/prefix
cmake --install build --prefix "$prefix" >/dev/null
[ -f "$prefix/share/vontralek/VONTRALEK.xlsx" ] || fail "no template under share/vontralek"
[ ! -e "$prefix/bin/VONTRALEK.xlsx" ] || fail "a workbook beside the installed programs would be edited in place"
[ -f "$prefix/share/man/man1/vontralek-cli.1" ] || fail "no manual page"
[ -f "$prefix/share/bash-completion/completions/vontralek-cli" ] || fail "no bash completion"
[ -f "$prefix/share/applications/vontralek.desktop" ] || fail "no desktop entry"
chmod -R a-w "$prefix"
before=$(fingerprint "$prefix")
mkdir -p "$work/home" "$work/xdg"
out=$(env -u XDG_DATA_HOME HOME="$work/home" "$prefix/bin/vontralek-cli" --sheet batch --pair ph) || fail "run failed: $out"
copy=$work/home/.local/share/vontralek/VONTRALEK.xlsx
[ -f "$copy" ] || fail "no user copy in ~/.local/share/vontralek"
grep -qF "Made your own workbook $copy" <<<"$out" || fail "the new copy's path was not printed: $out"
out=$(env -u XDG_DATA_HOME HOME="$work/home" "$prefix/bin/vontralek-cli" --sheet batch --pair ph) || fail "second run failed"
grep -qF "Workbook: $copy" <<<"$out" && ! grep -q "Made your own" <<<"$out" || fail "the second run did not reuse the copy: $out"
XDG_DATA_HOME=$work/xdg HOME="$work/home" "$prefix/bin/vontralek-cli" >/dev/null || fail "run under XDG_DATA_HOME failed"
[ -f "$work/xdg/vontralek/VONTRALEK.xlsx" ] || fail "no user copy in \$XDG_DATA_HOME/vontralek"
[ "$before" = "$(fingerprint "$prefix")" ] || fail "the runs changed files under the install prefix"
# A completion of the options from the installed program's help.
completed=$(PATH="$prefix/bin:$PATH" bash -c "source '$prefix/share/bash-completion/completions/vontralek-cli'
  COMP_WORDS=(vontralek-cli --mo); COMP_CWORD=1; _vontralek_cli; echo \"\${COMPREPLY[*]}\"")
[ "$completed" = "--model" ] || fail "bash completion of --mo gave '$completed'"
module=$(find "$prefix/lib" -path '*-packages/vontralek/__init__.py' -printf '%h\n')
[ -n "$module" ] || fail "no Python package under $prefix/lib"
PYTHONPATH=$(dirname "$module") /usr/bin/python3 -c 'import vontralek; assert vontralek.__file__.startswith("'"$prefix"'")'

echo "== cpack -G DEB, unpacked into a throw-away root"
(cd build && cpack -G DEB >/dev/null)
deb=$(ls -t build/vontralek_*.deb | head -n1)
listing=$(dpkg-deb -c "$deb")
for file in usr/bin/vontralek usr/bin/vontralek-cli usr/share/vontralek/VONTRALEK.xlsx \
  usr/share/applications/vontralek.desktop usr/share/man/man1/vontralek-cli.1 \
  usr/share/bash-completion/completions/vontralek-cli usr/lib/python3/dist-packages/vontralek/__init__.py \
  usr/lib/python3/dist-packages/vontralek/_diagram.py; do
  grep -qF "./$file" <<<"$listing" || fail "$deb lacks $file"
done
dpkg-deb -x "$deb" "$work/root"
mkdir -p "$work/debhome"
HOME=$work/debhome "$work/root/usr/bin/vontralek-cli" --sheet batch --pair ph >/dev/null || fail "the packaged program failed"
[ -f "$work/debhome/.local/share/vontralek/VONTRALEK.xlsx" ] || fail "the packaged program made no user copy"
PYTHONPATH=$work/root/usr/lib/python3/dist-packages /usr/bin/python3 -c 'import vontralek' || fail "packaged module"

echo "== pip install into a venv with the system's packages; the README's examples"
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --no-build-isolation --no-index --quiet "$root" || fail "pip install failed"
(cd "$work" && env -u PYTHONPATH "$work/venv/bin/python" -m pytest -q -p no:cacheprovider \
  "$root/tests/python/test_readme_examples.py") || fail "the README's examples failed with the pip-installed module"
echo "check_install: all passed"
