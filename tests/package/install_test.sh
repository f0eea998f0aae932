#!/usr/bin/env bash
# The Debian package as a user gets it, without touching the system: unpacks pelarin_<version>_amd64.deb into a
# scratch root and checks its contents, its computed dependencies, what Debian's policy asks (copyright file,
# changelog, stripped programs, lintian without errors or warnings), the desktop entry, the man pages, the
# installed batch tool (from its own folder, its image plugin included) and the installed Python module
# (imported from /), and runs the notebook example against that module.
# Usage: tests/package/install_test.sh PACKAGE.deb
set -euo pipefail
deb=$(realpath "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d /tmp/pelarin-package-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }

version=$(sed -nE 's/^project\(Pelarin VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")
[ "$(basename "$deb")" = "pelarin_${version}_amd64.deb" ] || fail "$deb is not named pelarin_${version}_amd64.deb"
[ "$(dpkg-deb -f "$deb" Package Version Architecture | tr '\n' ' ')" = "Package: pelarin Version: $version Architecture: amd64 " ] ||
  fail "control fields: $(dpkg-deb -f "$deb" Package Version Architecture)"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6svg6 libgoogle-glog0v6 python3 python3-numpy qt6-qpa-plugins; do
  [[ "$depends" == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for file in usr/bin/pelarin usr/bin/pelarin-batch usr/libexec/pelarin/pelarin-batch-images.so \
  "usr/lib/python3/dist-packages/pelarin\\.cpython-.*\\.so" usr/share/applications/pelarin.desktop \
  usr/share/icons/hicolor/scalable/apps/pelarin.svg usr/share/icons/hicolor/48x48/apps/pelarin.png \
  usr/share/icons/hicolor/128x128/apps/pelarin.png usr/share/icons/hicolor/256x256/apps/pelarin.png \
  usr/share/man/man1/pelarin.1.gz usr/share/man/man1/pelarin-batch.1.gz usr/share/doc/pelarin/README.md \
  usr/share/doc/pelarin/copyright usr/share/doc/pelarin/changelog.gz \
  usr/share/doc/pelarin/examples/pelarin_tour.ipynb usr/share/doc/pelarin/examples/efficiency_map.py; do
  grep -qx "\./$file" <<<"$contents" || fail "the package lacks /$file"
done
if grep -qE '^\./(home|root|tmp|usr/local)/' <<<"$contents"; then fail "the package holds files of the build machine"; fi

dpkg-deb -x "$deb" "$scratch/root"
usr="$scratch/root/usr"
# Debian's policy: a machine-readable copyright file, a changelog whose latest entry is this version, and
# programs and libraries without their symbol tables. Lintian checks the rest.
head -1 "$usr/share/doc/pelarin/copyright" |
  grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "the copyright file is not machine-readable"
zcat "$usr/share/doc/pelarin/changelog.gz" | head -1 | grep -q "^pelarin ($version) " ||
  fail "the changelog's latest entry is not $version"
unstripped=$(find "$scratch/root" -type f -exec file --no-pad {} + | grep 'ELF.*not stripped' || true)
[ -z "$unstripped" ] || fail "unstripped: $unstripped"
if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$deb" >"$scratch/lintian.txt" 2>&1 ||
    fail "lintian: $(grep -E '^[EW]: ' "$scratch/lintian.txt" || cat "$scratch/lintian.txt")"
else
  echo "package test: lintian is not installed (scripts/setup installs it): its checks skipped" >&2
fi
desktop-file-validate "$usr/share/applications/pelarin.desktop" || fail "the desktop entry does not validate"
for size in 48 128 256; do
  file "$usr/share/icons/hicolor/${size}x${size}/apps/pelarin.png" | grep -q "$size x $size" || fail "icon $size"
done
for page in "pelarin:Pelarin simulates" "pelarin-batch:Runs one study of Pelarin"; do
  name=${page%%:*}
  [ "$(MANPATH="$usr/share/man" man -w "$name")" = "$usr/share/man/man1/$name.1.gz" ] || fail "man -w $name"
  zcat "$usr/share/man/man1/$name.1.gz" | grep -q "${page#*:}" || fail "the man page of $name is not its --help"
done
for command in FIGURES SCAN FIT; do
  zcat "$usr/share/man/man1/pelarin-batch.1.gz" | grep -q "^\.SH \"$command COMMAND\"" ||
    fail "the man page of pelarin-batch lacks its $command command"
done
# Each command line of the synopsis starts a line of its own, as man shows it.
synopsis=$(MANWIDTH=200 MANPATH="$usr/share/man" man pelarin-batch 2>/dev/null | sed -n '/^SYNOPSIS/,/^DESCRIPTION/p')
for command in STUDY figures fit scan scan-merge; do
  grep -qE "^ +pelarin-batch $command " <<<"$synopsis" ||
    fail "the synopsis of man pelarin-batch has no line of its own for $command: $synopsis"
done

# The installed programs from their own folder, in a folder of their own.
mkdir "$scratch/work"
cd "$scratch/work"
[ "$("$usr/bin/pelarin-batch" --version)" = "pelarin-batch $version" ] || fail "pelarin-batch --version"
[ "$("$usr/bin/pelarin" --version)" = "pelarin $version" ] || fail "pelarin --version"
"$usr/bin/pelarin-batch" figures all --summary figures.csv >/dev/null
"$usr/bin/pelarin-batch" all --dir run --images=png >/dev/null || fail "the installed batch tool cannot draw images"
ls run/*_plr/*.png >/dev/null 2>&1 || fail "no image written by the installed plugin"

# The installed module, imported from / with nothing of the build on its path.
module="$usr/lib/python3/dist-packages"
ff=$(cd / && PYTHONPATH="$module" /usr/bin/python3 -c \
  'import pelarin, sys; assert pelarin.__file__.startswith(sys.argv[1]), pelarin.__file__; print(pelarin.figures("all", pelarin.Parameters())["stack"]["FF"])' \
  "$module")
[ "$(sed -n 2p figures.csv | cut -d, -f7)" = "$ff" ] || fail "the module's FF $ff differs from the batch tool's"

# The notebook, top to bottom, against the installed module.
(cd "$scratch" && PYTHONPATH="$module" timeout 300 jupyter nbconvert --to notebook --execute \
  "$usr/share/doc/pelarin/examples/pelarin_tour.ipynb" --output-dir "$scratch" --output tour.ipynb >/dev/null 2>&1) ||
  fail "the notebook does not run"
echo "Package: $(basename "$deb") holds and runs what it should."
