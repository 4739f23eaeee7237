#!/usr/bin/env bash
# Checks a built package: its file list, its control fields, its desktop entry and MIME type,
# and that the unpacked programs run. Usage: scripts/check-package.sh PATH.deb
set -euo pipefail
deb=${1:?usage: scripts/check-package.sh PATH.deb}
fail() { echo "check-package: $*" >&2; exit 1; }

files=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
for f in /usr/bin/tallyhost /usr/bin/tallyhost-cli /usr/bin/tallyhost-sim \
         /usr/share/applications/tallyhost.desktop \
         /usr/share/mime/packages/tallyhost.xml \
         /usr/share/icons/hicolor/16x16/apps/tallyhost.png \
         /usr/share/icons/hicolor/48x48/apps/tallyhost.png \
         /usr/share/icons/hicolor/256x256/apps/tallyhost.png \
         /usr/share/man/man1/tallyhost.1.gz /usr/share/man/man1/tallyhost-cli.1.gz \
         /usr/share/man/man1/tallyhost-sim.1.gz \
         /usr/share/tallyhost/examples/demo.thf /usr/share/tallyhost/examples/demo-sim.ini \
         /usr/share/tallyhost/examples/demo.ths \
         /usr/share/doc/tallyhost/copyright /usr/share/doc/tallyhost/changelog.gz; do
  grep -qx "$f" <<<"$files" || fail "missing $f"
done
# Nothing of the build tree (tests, benchmarks, static libraries, headers) gets in.
if grep -E '\.(a|h|cmake)$|_tests$|bench_|render-icons' <<<"$files"; then
  fail "build-only files in the package"
fi

depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libqt6widgets6' <<<"$depends" || fail "Depends lacks the Qt Widgets library: $depends"
grep -q 'libc6' <<<"$depends" || fail "Depends lacks libc6: $depends"
[ "$(dpkg-deb -f "$deb" Package)" = tallyhost ] || fail "wrong package name"
maintainer=$(dpkg-deb -f "$deb" Maintainer)
if ! grep -Eq '^[^<]+ <[^@>]+@[a-z0-9.-]+\.[a-z]+>$' <<<"$maintainer" ||
   grep -q localhost <<<"$maintainer"; then
  fail "Maintainer is not a name and a real address: $maintainer"
fi

# Debian's own checks: any error fails, warnings are shown.
if command -v lintian >/dev/null; then
  lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian found errors"
else
  fail "lintian is not installed (scripts/deps.sh installs it)"
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/tallyhost.desktop"
fi
grep -qx 'MimeType=application/x-tallyhost-thf;application/x-tallyhost-ths;' \
  "$root/usr/share/applications/tallyhost.desktop" \
  || fail "desktop entry does not open terminal files and test scripts"
for type in thf ths; do
  grep -q "type=\"application/x-tallyhost-$type\"" "$root/usr/share/mime/packages/tallyhost.xml" \
    || fail "MIME package does not define the .$type type"
done
version=$(dpkg-deb -f "$deb" Version)
[ "$("$root/usr/bin/tallyhost-cli" --version)" = "tallyhost-cli $version" ] || fail "tallyhost-cli --version"
[ "$("$root/usr/bin/tallyhost" --version)" = "tallyhost $version" ] || fail "tallyhost --version"
"$root/usr/bin/tallyhost-sim" --help | grep -q '^Usage: tallyhost-sim' || fail "tallyhost-sim --help"
zcat "$root/usr/share/man/man1/tallyhost-cli.1.gz" | grep -q "Tallyhost $version" || fail "man page version"
file_count=$(wc -l <<<"$files")
echo "check-package: $(basename "$deb") ok ($file_count entries, $(du -k "$deb" | cut -f1) kB)"
