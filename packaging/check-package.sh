#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and packages it as cpack would for a user, then checks what a
# distribution would: the desktop entry, the AppStream metadata, the service units (and the exporter's exposure),
# lintian on the .deb packages, each program run from the unpacked packages, and the CLI's commands against its man page
# and completions. Usage: check-package.sh SOURCE_DIR BUILD_DIR VERSION
set -euo pipefail
source_dir=$1
build=$(cd "$2" && pwd)
version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
step() { echo "== $*"; }

step "cmake --install into a temporary prefix"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
share="$work/prefix/share"
desktop-file-validate "$share/applications/org.korvel.Admin.desktop"
appstreamcli validate --no-net "$share/metainfo/org.korvel.Admin.metainfo.xml"
for size in 48 128 256; do
  kind=$(file "$share/icons/hicolor/${size}x${size}/apps/org.korvel.Admin.png")
  grep -q "PNG image data, $size x $size" <<<"$kind"
done

# A README sentence that roff takes for a request, or a stray escape, shows up as a warning.
for page in "$share"/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || {
    echo "$page: $warnings" >&2
    exit 1
  }
done

step "cpack -G DEB"
(cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null)
debs=()
# Each package with a library only its programs use: the dependencies were computed, not written down.
for package in korvel-admin:libqt6widgets6 korvel-refserver:libsqlite3-0 korvel-exporter:libprometheus-cpp; do
  deb=$(echo "$work/deb/${package%%:*}"_*.deb)
  depends=$(dpkg-deb --field "$deb" Depends)
  grep -q "${package#*:}" <<<"$depends" || {
    echo "${package%%:*}: no ${package#*:} among its dependencies: $depends" >&2
    exit 1
  }
  debs+=("$deb")
done

step "lintian"
lintian --fail-on error --tag-display-limit 0 "${debs[@]}" >"$work/lintian.out" 2>&1 || lintian_status=$?
grep -v 'running with root privileges' "$work/lintian.out" || true
[ "${lintian_status:-0}" -eq 0 ]

step "the programs, run from the unpacked packages"
root="$work/root"
for deb in "${debs[@]}"; do
  dpkg -x "$deb" "$root"
done
for program in korvel-admin korvel-admin-cli korvel-refserver korvel-load korvel-exporter; do
  stated=$(DISPLAY= WAYLAND_DISPLAY= "$root/usr/bin/$program" --version)
  [ "$stated" = "$program $version" ] || {
    echo "$program --version from the package said '$stated', not '$program $version'" >&2
    exit 1
  }
done
# The installed window shows itself once, with its files in the XDG folders, and ends.
QT_QPA_PLATFORM=offscreen KORVEL_ADMIN_EXIT_AFTER_PAINT=1 KORVEL_ADMIN_SETTINGS="$work/admin.ini" \
  XDG_STATE_HOME="$work/state" timeout 60 "$root/usr/bin/korvel-admin"

step "service units"
units="$root/usr/lib/systemd/system"
for unit in korvel-refserver korvel-exporter; do
  # verify checks the programs and man pages the unit names: those of the unpacked package.
  sed "s|/usr/bin/|$root/usr/bin/|" "$units/$unit.service" >"$work/$unit.service"
  MANPATH="$root/usr/share/man" systemd-analyze verify "$work/$unit.service"
done
exposure=$(systemd-analyze security --offline=yes "$units/korvel-exporter.service" 2>&1 |
  sed -n 's/.*Overall exposure level for korvel-exporter.service: \([0-9.]*\).*/\1/p')
echo "korvel-exporter.service exposure: $exposure"
awk -v e="$exposure" 'BEGIN { exit !(e != "" && e <= 2.0) }' || {
  echo "korvel-exporter.service is exposed more than 2.0" >&2
  exit 1
}

step "the CLI's commands in its man page and completions"
python3 "$source_dir/packaging/check-commands.py" "$root"
echo "install and package: ok"
