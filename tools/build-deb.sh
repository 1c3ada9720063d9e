#!/usr/bin/env bash
# Builds the Debian packages korvanext, korvanext-cli and korvanext-demo from a clean copy of the
# source tree into build-deb/ (or $KVX_DEB_DIR) and checks them as Debian does:
# lintian (pedantic; errors and warnings fail), appstreamcli, desktop-file-validate,
# the hardening of every shipped program, that the demo stays out of korvanext, and
# that korvanext-cli holds the command line alone and depends on no window library.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${KVX_DEB_DIR:-$root/build-deb}
"$root/tools/setup.sh" --packaging

# --checks-only: check the packages already in $out again.
if [ "${1:-}" != "--checks-only" ]; then
  rm -rf "$out"
  mkdir -p "$out/src"
  # Build trees and the repository's metadata stay behind.
  tar -C "$root" --exclude=./.git --exclude='./build*' -cf - . | tar -C "$out/src" -xf -
  cp -r "$root/packaging/debian" "$out/src/debian"
  echo "Building the packages in $out"
  start=$SECONDS
  (cd "$out/src" && dpkg-buildpackage -b -us -uc -j"$(nproc)" >"$out/build.log" 2>&1) || {
    tail -n 40 "$out/build.log"
    echo "package build failed; the whole log is $out/build.log"
    exit 1
  }
  echo "built in $((SECONDS - start)) s"
fi
cd "$out"
changes=(korvanext_*_"$(dpkg --print-architecture)".changes)
ls -1 ./*.deb

fail=0

echo "== lintian --pedantic"
lintian --pedantic --display-info --display-experimental --fail-on none "${changes[0]}" >lintian.txt 2>lintian.err ||
  { cat lintian.err; fail=1; }
cat lintian.txt
[ -s lintian.txt ] || echo "(no tags)"
tags=$(grep -E '^[EWP]: ' lintian.txt || true)
[ -z "$tags" ] || fail=1

rm -rf root && mkdir root
for deb in korvanext_*.deb korvanext-cli_*.deb korvanext-demo_*.deb; do dpkg-deb -x "$deb" root; done
echo "== appstreamcli validate --pedantic"
appstreamcli validate --pedantic --no-net root/usr/share/metainfo/*.metainfo.xml || fail=1
echo "== desktop-file-validate"
hints=$(desktop-file-validate root/usr/share/applications/*.desktop 2>&1) || fail=1
[ -z "$hints" ] || { echo "$hints"; fail=1; }

# Position-independent, read-only relocations bound at start, stack protector,
# fortified calls, control-flow protection, no debug information: read back from the binaries.
echo "== hardening"
for exe in root/usr/bin/*; do
  head=$(readelf -hdlW "$exe")
  syms=$(readelf --dyn-syms -W "$exe")
  missing=()
  grep -q 'Type:.*DYN' <<<"$head" || missing+=(PIE)
  grep -q 'GNU_RELRO' <<<"$head" || missing+=(relro)
  grep -Eq 'BIND_NOW|FLAGS_1.*NOW' <<<"$head" || missing+=(bindnow)
  grep -q '__stack_chk_fail' <<<"$syms" || missing+=(stack-protector)
  grep -Eq '__[a-z0-9_]+_chk@' <<<"$syms" || missing+=(fortify)
  # The branch targets of control-flow protection (Debian 12's start files lack the
  # note that would switch it on, so the instructions are what can be checked).
  [ "$(objdump -d --no-show-raw-insn "$exe" | grep -c endbr64)" -gt 0 ] || missing+=(cf-protection)
  grep -q '\.debug_info' < <(readelf -SW "$exe") && missing+=(stripped)
  if [ ${#missing[@]} -eq 0 ]; then echo "${exe#root}: PIE relro bindnow stack-protector fortify cf-protection stripped"
  else echo "${exe#root}: lacks ${missing[*]}"; fail=1; fi
done

# The user's package holds no test material.
echo "== package contents"
dpkg-deb -c korvanext_*.deb | awk '{print $6}' >korvanext.contents
dpkg-deb -c korvanext-cli_*.deb | awk '{print $6}' >korvanext-cli.contents
dpkg-deb -c korvanext-demo_*.deb | awk '{print $6}' >korvanext-demo.contents
if grep -E 'gatewaysim|\.Bin$' korvanext.contents korvanext-cli.contents; then echo "korvanext or korvanext-cli ships test material"; fail=1; fi
for f in ./usr/bin/korvanext ./usr/share/korvanext/ExtLogo.bmp \
         ./usr/share/man/man1/korvanext.1.gz ./usr/share/doc/korvanext/copyright \
         ./usr/share/doc/korvanext/changelog.gz ./usr/share/metainfo/org.korvanext.korvanext.metainfo.xml; do
  grep -qxF "$f" korvanext.contents || { echo "korvanext lacks $f"; fail=1; }
done
# The command line and the language files are korvanext-cli's alone.
if grep -E 'korvanext-cli|\.ini$' korvanext.contents; then echo "korvanext ships the command line's files"; fail=1; fi
for f in ./usr/bin/korvanext-cli ./usr/share/korvanext/L_Init.ini ./usr/share/korvanext/Eng.ini \
         ./usr/share/man/man1/korvanext-cli.1.gz ./usr/share/bash-completion/completions/korvanext-cli \
         ./usr/share/doc/korvanext-cli/copyright ./usr/share/doc/korvanext-cli/changelog.gz; do
  grep -qxF "$f" korvanext-cli.contents || { echo "korvanext-cli lacks $f"; fail=1; }
done
if grep -E '^\./usr/bin/korvanext$|ExtLogo|\.desktop$' korvanext-cli.contents; then echo "korvanext-cli ships the window"; fail=1; fi

# The command line installs without a window system: no widget, chart or print
# library, no platform plugins; the window takes exactly its own version of it.
echo "== dependencies"
cli_depends=$(dpkg-deb -f korvanext-cli_*.deb Depends)
echo "korvanext-cli: $cli_depends"
if grep -Eiq 'libqt6widgets|libqt6charts|libqt6printsupport|libqt6opengl|qt6-qpa-plugins' <<<"$cli_depends"; then
  echo "korvanext-cli depends on a window library"; fail=1
fi
version=$(dpkg-deb -f korvanext-cli_*.deb Version)
grep -qF "korvanext-cli (= $version)" <<<"$(dpkg-deb -f korvanext_*.deb Depends)" ||
  { echo "korvanext does not depend on korvanext-cli (= $version)"; fail=1; }
for f in ./usr/bin/korvanext-gatewaysim ./usr/share/korvanext-demo/Korvanext-3.20-demo.Bin \
         ./usr/share/man/man1/korvanext-gatewaysim.1.gz; do
  grep -qxF "$f" korvanext-demo.contents || { echo "korvanext-demo lacks $f"; fail=1; }
done

if [ $fail -ne 0 ]; then echo "package checks failed"; exit 1; fi
echo "package checks passed: $(ls korvanext*.deb | tr '\n' ' ')"
