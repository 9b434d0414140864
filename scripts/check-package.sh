#!/usr/bin/env bash
# Builds the Debian package (make package) and checks it: lintian without
# errors, the desktop entry and the AppStream metainfo as installed. As root
# it also installs the package, runs the installed programs from /usr/bin and
# removes the package again (a korvex package installed before is left in
# place, updated).
set -euo pipefail
cd "$(dirname "$0")/.."

make package
deb=$(ls -t build/release/package/korvex_*.deb | head -n 1)
echo "check-package: $deb"

lintian --fail-on error "$deb"

contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
dpkg-deb -x "$deb" "$contents"
desktop-file-validate "$contents"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$contents"/usr/share/metainfo/*.metainfo.xml

if [ "$(id -u)" -ne 0 ]; then
  echo "check-package: not root, the package is not installed"
  exit 0
fi

installed_before=no
if dpkg-query -W -f='${Status}' korvex 2>/dev/null | grep -q "install ok installed"; then
  installed_before=yes
fi
remove() {
  if [ "$installed_before" = no ]; then
    dpkg -r korvex >/dev/null
  fi
}
trap 'remove; rm -rf "$contents"' EXIT

dpkg -i "$deb" >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -f >/dev/null
/usr/bin/korvex-cli --version
QT_QPA_PLATFORM=offscreen /usr/bin/korvex --version
/usr/bin/korvex-devsim --help >/dev/null
man -w korvex-cli >/dev/null
# The installed programs find their language folders under /usr/share/korvex.
probe=/nonexistent/korvex-check.kvx
pl=$(LANGUAGE=pl XDG_CONFIG_HOME="$contents" /usr/bin/korvex-cli info "$probe" 2>&1 || true)
en=$(LANGUAGE=en XDG_CONFIG_HOME="$contents" /usr/bin/korvex-cli info "$probe" 2>&1 || true)
if [ "$pl" = "$en" ]; then
  echo "check-package: the installed korvex-cli did not find its language folders" >&2
  exit 1
fi
echo "check-package: all checks passed"
