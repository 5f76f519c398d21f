#!/bin/bash
# Builds the Debian package from the build directory BUILD, checks its control fields, file list
# and lintian's verdict, installs it with apt-get, runs the installed program, removes it, and
# checks that nothing it installed is left. Changes the system: root on a throwaway machine
# (CI), through `make test-package`.
set -euo pipefail
BUILD=$(cd "${1:?usage: package_test.sh BUILD}" && pwd)
SOURCE=$(cd "$(dirname "$0")/../.." && pwd)

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
[ "$(id -u)" -eq 0 ] || fail "installs a package: run as root"
if dpkg-query -W -f='${Status}' vantrel 2>/dev/null | grep -q "ok installed"; then
  fail "a vantrel package is installed already; this test would replace and remove it"
fi

tmp=$(mktemp -d)
installed=""
cleanup() {
  if [ -n "$installed" ]; then
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 remove -y -qq vantrel ||
      true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

version=$("$BUILD/vantrel" --version | sed 's/^Vantrel //')
arch=$(dpkg --print-architecture)
echo "== building vantrel_${version}_${arch}.deb"
cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log"; fail "cpack failed"; }
deb="$tmp/out/vantrel_${version}_${arch}.deb"
[ -f "$deb" ] || fail "no $deb"

echo "== control fields"
dpkg-deb -I "$deb"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vantrel ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = utils ] || fail "Section: $(field Section)"
[ "$(field Priority)" = optional ] || fail "Priority: $(field Priority)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
# Computed by dpkg-shlibdeps: the C library and the Qt libraries the program links, versioned.
depends=$(field Depends)
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
  echo "$depends" | awk -F', ' -v want="$library (>= " \
    '{ for (i = 1; i <= NF; i++) if (index($i, want) == 1) found = 1 } END { exit !found }' ||
    fail "Depends lacks a versioned $library: $depends"
done

echo "== file list"
dpkg-deb -c "$deb"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort >"$tmp/files"
{
  printf '%s\n' ./usr/bin/vantrel \
    ./usr/lib/systemd/user/vantrel-clean.service \
    ./usr/lib/systemd/user/vantrel-clean.timer \
    ./usr/libexec/vantrel/vantrel-launch \
    ./usr/share/applications/com.example.nelvor.vantrel.desktop \
    ./usr/share/bash-completion/completions/vantrel \
    ./usr/share/doc/vantrel/changelog.gz \
    ./usr/share/doc/vantrel/copyright \
    ./usr/share/icons/hicolor/48x48/apps/com.example.nelvor.vantrel.png \
    ./usr/share/icons/hicolor/scalable/apps/com.example.nelvor.vantrel.svg \
    ./usr/share/man/man1/vantrel.1.gz \
    ./usr/share/metainfo/com.example.nelvor.vantrel.metainfo.xml \
    ./usr/share/vantrel/starter/exceptions.ini \
    ./usr/share/vantrel/starter/vantrel.ini
  for language in "$SOURCE"/resources/Language/*.lng; do
    echo "./usr/share/vantrel/Language/$(basename "$language")"
  done
} | sort >"$tmp/expected"
diff -u "$tmp/expected" "$tmp/files" || fail "unexpected file list"
dpkg-deb -c "$deb" | awk '$2 != "root/root" { bad = 1; print } END { exit bad }' ||
  fail "files not owned by root"
# The paths written at install time name /usr, never the staging directory.
dpkg-deb -x "$deb" "$tmp/tree"
if grep -rl -e "$BUILD" -e _CPack_Packages "$tmp/tree"; then fail "build paths in the package"; fi
# Its libraries come from the system's own directories alone.
if readelf -d "$tmp/tree/usr/bin/vantrel" | grep -E 'R(UN)?PATH'; then fail "run path in vantrel"; fi
grep -qx 'ExecStart="/usr/libexec/vantrel/vantrel-launch" /dall' \
  "$tmp/tree/usr/lib/systemd/user/vantrel-clean.service" || fail "service ExecStart"
grep -qx 'Exec=/usr/libexec/vantrel/vantrel-launch' \
  "$tmp/tree/usr/share/applications/com.example.nelvor.vantrel.desktop" || fail "desktop Exec"

echo "== lintian"
lintian --tag-display-limit 0 "$deb" 2>&1 | tee "$tmp/lintian" || true
if grep -q '^E: ' "$tmp/lintian"; then fail "lintian reports errors"; fi
grep -q '^[EW]: ' "$tmp/lintian" || echo "lintian: no errors, no warnings"

echo "== installing"
# Which of the package's paths (directories included) exist before: those must survive removal,
# all others must be gone after it.
dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }' | sed 's#/$##' | grep -v '^$' >"$tmp/paths"
while IFS= read -r path; do
  if [ ! -e "$path" ]; then echo "$path"; fi
done <"$tmp/paths" >"$tmp/new-paths"
installed=yes
DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq "$deb"
dpkg-query -W -f='${Status}\n' vantrel | grep -qx "install ok installed" || fail "not installed"

echo "== running the installed program"
[ "$(command -v vantrel)" = /usr/bin/vantrel ] || fail "vantrel is not /usr/bin/vantrel"
[ "$(vantrel --version)" = "Vantrel $version" ] || fail "--version: $(vantrel --version)"

mkdir -p "$tmp/home" "$tmp/config" "$tmp/work" "$tmp/drive" "$tmp/run"
chmod 700 "$tmp/run"
printf 'xyz' >"$tmp/drive/a.tmp"
printf 'z' >"$tmp/drive/keep.txt"
printf '*.tmp\r\n' >"$tmp/work/vantrel.ini"
: >"$tmp/work/exceptions.ini"
mkdir -p "$tmp/config/vantrel"
printf '{"SOFTWARE\\\\Vantrel\\\\Options": {"AutoCheckFF": 1}}' >"$tmp/config/vantrel/registry.json"
headless() {
  (cd "$tmp/work" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$tmp/home" \
    XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/home/.cache" \
    VANTREL_DRIVES="C=fixed:$tmp/drive;E=removable:/media/stick" "$@")
}
listing=$(headless vantrel --list-drives)
[ "$listing" = "C: Hard Drive $tmp/drive
E: Removable Drive /media/stick" ] || fail "--list-drives printed: $listing"

dry=$(headless vantrel /dc --dry-run)
echo "$dry"
[ "$dry" = " Finished
Files: 1
Total size: 3 bytes
$tmp/drive/a.tmp" ] || fail "/dc --dry-run printed: $dry"
[ -f "$tmp/drive/a.tmp" ] || fail "a dry run deleted a file"

# The launcher the menu and the service use: the installed languages are linked into the
# per-user directory.
headless /usr/libexec/vantrel/vantrel-launch --version >/dev/null
[ "$(readlink "$tmp/home/.local/share/vantrel/Language")" = /usr/share/vantrel/Language ] ||
  fail "launcher did not link the languages"

# A first start in a fresh home, as the weekly timer makes it: the launcher puts the starter
# lists in place and the run lists by their masks (nothing is ticked there, so the count and the
# total tell what was listed: sizes 1, 2 and 4 add up to 7 only without keep.txt's 8).
mkdir -p "$tmp/fresh" "$tmp/fresh-drive"
printf 'x' >"$tmp/fresh-drive/a.tmp"
printf 'xy' >"$tmp/fresh-drive/b.bak"
printf 'xyzw' >"$tmp/fresh-drive/c.old"
printf 'zzzzzzzz' >"$tmp/fresh-drive/keep.txt"
first=$(cd / && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_DATA_HOME \
  -u XDG_CONFIG_HOME -u XDG_CACHE_HOME HOME="$tmp/fresh" VANTREL_DRIVES="C=fixed:$tmp/fresh-drive" \
  /usr/libexec/vantrel/vantrel-launch --dry-run /dall) || fail "first start failed: $first"
echo "$first"
[ "$first" = " Finished
Files: 3
Total size: 7 bytes" ] || fail "first start printed: $first"
for list in vantrel.ini exceptions.ini; do
  cmp "/usr/share/vantrel/starter/$list" "$tmp/fresh/.local/share/vantrel/$list" ||
    fail "no starter $list in the fresh home"
done

# The units as installed, with the manual page they name found where man finds it.
(cd / && XDG_RUNTIME_DIR="$tmp/run" systemd-analyze verify --user \
  /usr/lib/systemd/user/vantrel-clean.service /usr/lib/systemd/user/vantrel-clean.timer) ||
  fail "systemd-analyze verify"
[ "$(man -w vantrel)" = /usr/share/man/man1/vantrel.1.gz ] || fail "man -w vantrel"

# bash-completion's loader finds the completion by the command's name.
loaded=$(bash -c '. /usr/share/bash-completion/bash_completion; _completion_loader vantrel;
  complete -p vantrel')
[ "$loaded" = "complete -o default -F _vantrel vantrel" ] || fail "completion: $loaded"

echo "== removing"
DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 remove -y -qq vantrel
installed=""
if dpkg-query -W -f='${Status}\n' vantrel 2>/dev/null | grep -q "installed$"; then
  fail "still installed: $(dpkg-query -W -f='${Status}' vantrel)"
fi
left=""
while IFS= read -r path; do
  if [ -e "$path" ] || [ -L "$path" ]; then left="$left $path"; fi
done <"$tmp/new-paths"
[ -z "$left" ] || fail "left after removal:$left"
echo "removal left none of the $(wc -l <"$tmp/new-paths") paths the package added"
echo "PASS"
