#!/usr/bin/env bash
# Builds the Debian package in build-package/ and tests it in throw-away roots: unpacked with
# dpkg -x, its velmora-cli analyses a lame-encoded file from another folder; installed and
# removed again with dpkg in a root of its own, nothing stays behind; lintian finds no error
# (its warnings are printed). Prints the sizes, and the editor's start-up from the package beside
# the build tree's.
# PACKAGE_BUILD (folder), BUILD_TYPE (Release) and JOBS (2) change the build.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${PACKAGE_BUILD:-build-package}
jobs=${JOBS:-2}
type=${BUILD_TYPE:-Release}

echo "== build ($build, $type, prefix /usr)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DCMAKE_INSTALL_PREFIX=/usr \
  -DVELMORA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$jobs" >/dev/null
rm -f "$build"/velmora_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/velmora_*.deb)
echo "package: $deb"
dpkg-deb -f "$deb" Package Version Architecture Depends Recommends Installed-Size

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

echo "== the package's files"
if dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -v '^\./usr/'; then
  fail "files outside /usr"
fi
apt-get install --simulate "$(realpath "$deb")" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get cannot resolve the package's dependencies"; }
echo "apt-get resolves the dependencies on this system"

for f in usr/share/doc/velmora/copyright usr/share/doc/velmora/changelog.gz \
  usr/share/man/man1/velmora-cli.1.gz; do
  dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -qx "./$f" || fail "the package has no $f"
done
echo "the package has its copyright file, its changelog and compressed manuals"

echo "== lintian"
if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
  cat "$work/lintian.log"
  ! grep -q '^E: ' "$work/lintian.log" || fail "lintian reports errors"
  echo "lintian: $(grep -c '^E: ' "$work/lintian.log") errors, $(grep -c '^W: ' "$work/lintian.log") warnings"
else
  echo "lintian is missing, so the package was not checked by it"
fi

echo "== unpacked with dpkg -x, run from another folder"
root=$work/root
dpkg -x "$deb" "$root"
if ldd "$root"/usr/bin/* | grep 'not found'; then
  fail "a library is missing"
fi
folder="$work/a folder with spaces"
mkdir -p "$folder"
if [ -e "$build/demo.mp3" ]; then
  cp "$build/demo.mp3" "$folder/tone.mp3"
else
  command -v lame >/dev/null || fail "lame is needed for the test file"
  head -c 1764000 /dev/urandom >"$work/noise.raw"
  lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -b 128 "$work/noise.raw" \
    "$folder/tone.mp3"
fi
info=$(cd / && env VELMORA_CONFIG_DIR="$work/config" "$root/usr/bin/velmora-cli" info "$folder/tone.mp3")
echo "$info" | sed -n '1,6p'
echo "$info" | grep -q '^Type: *MPEG 1 layer III' || fail "velmora-cli info did not analyse the file"
"$root/usr/bin/velmora-cli" --version
if [ -x "$root/usr/bin/velmora" ]; then
  env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/velmora" --help >/dev/null ||
    fail "velmora --help needs a display"
  editor=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/velmora" --version)
  [ "${editor#velmora }" = "$("$root/usr/bin/velmora-cli" --version | sed 's/^velmora-cli //')" ] ||
    fail "velmora and velmora-cli differ in their versions"
fi

echo "== installed and removed with dpkg in a root of its own"
droot=$work/dpkg-root
mkdir -p "$droot/var/lib/dpkg/info" "$droot/var/lib/dpkg/updates"
touch "$droot/var/lib/dpkg/status" "$droot/var/lib/dpkg/available"
# The root has no other packages, so the dependencies cannot be met there.
dpkg --root="$droot" --force-depends --force-not-root -i "$deb" >/dev/null 2>&1 ||
  fail "dpkg -i failed"
[ -x "$droot/usr/bin/velmora-cli" ] || fail "dpkg -i installed no velmora-cli"
dpkg --root="$droot" --force-depends --force-not-root -P velmora >/dev/null 2>&1 ||
  fail "dpkg -P failed"
left=$(cd "$droot" && find . -mindepth 1 -not -path ./var -not -path ./var/lib -not -path './var/lib/dpkg*')
[ -z "$left" ] || fail "left behind after removal: $left"
echo "nothing left behind after removal"

echo "== sizes"
for f in "$root"/usr/bin/*; do
  printf '%-28s %9d bytes\n' "installed $(basename "$f")" "$(stat -c %s "$f")"
done
printf '%-28s %9d bytes\n' "installed tree (usr/)" "$(du -sb "$root/usr" | cut -f1)"
printf '%-28s %9d bytes\n' "$(basename "$deb")" "$(stat -c %s "$deb")"

# The editor's start-up to an idle window, from the package and from the build tree.
if [ -x "$root/usr/bin/velmora" ] && command -v hyperfine >/dev/null; then
  echo "== editor start-up to an idle window (offscreen)"
  export QT_QPA_PLATFORM=offscreen VELMORA_CONFIG_DIR="$work/config"
  export XDG_RUNTIME_DIR="$work/runtime"
  mkdir -m 0700 "$XDG_RUNTIME_DIR"
  hyperfine -N --warmup 2 --runs "${BENCH_RUNS:-10}" --export-json "$work/start.json" \
    -n package "$root/usr/bin/velmora --quit-when-idle" \
    -n build-tree "$build/velmora --quit-when-idle" >/dev/null
  python3 -c 'import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    print("%-12s median %6.1f ms" % (r["command"], r["median"] * 1000))' "$work/start.json"
fi
echo "package test passed"
