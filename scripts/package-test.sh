#!/usr/bin/env bash
# Tests the two downloads by installing them (scripts/package.sh builds them
# into out/packages/ first, unless --no-build):
#   deb  lintian finds nothing unexplained; apt-get installs the package; the
#        installed orbisk simulate plays the sample remote into the installed
#        orbisk serve, run as an ordinary user with its XDG folders in a
#        temporary folder, and Debian's irw reads the keys; systemd-analyze
#        verifies the user units; the purge leaves nothing behind.
#   zip  unpacked into a fresh Wine prefix, orbisk.exe run there receives the
#        keys orbisk.exe simulate --port plays through a null-modem pair;
#        --version and the version resources give the CMake version.
# Runs as root (apt-get).  --deb / --zip test only that one.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

build=1 want_deb=1 want_zip=1
for arg in "$@"; do
  case $arg in
    --no-build) build=0 ;;
    --deb) want_zip=0 ;;
    --zip) want_deb=0 ;;
    *) echo "usage: scripts/package-test.sh [--no-build] [--deb|--zip]" >&2; exit 2 ;;
  esac
done

version=$(sed -n 's/^project(orbisk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ "$build" = 1 ]; then
  flags=()
  [ "$want_deb" = 1 ] || flags=(--zip)
  [ "$want_zip" = 1 ] || flags=(--deb)
  bash scripts/package.sh "${flags[@]}"
  echo "built in ${SECONDS}s"
fi

tmp=$(mktemp -d)
chmod 755 "$tmp"
cleanup() {
  stop_all
  # A failed test leaves no package behind either.
  [ "$installed" = 1 ] && DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq orbisk >/dev/null 2>&1
  rm -rf "$tmp"
}
pids="" installed=0
trap cleanup EXIT
# Starts a program in the background in a process group of its own, whose
# number is the program's own process id (a background job of a script is no
# group leader, so setsid execs in place): stop_all ends the program and all
# it started, whether the test passed or failed.
start() {
  setsid "$@" &
  pids="$pids $!"
}
stop_all() {
  local p
  for p in $pids; do kill -- "-$p" 2>/dev/null || kill "$p" 2>/dev/null || true; done
  for p in $pids; do wait "$p" 2>/dev/null || true; done
  pids=""
}
fail() { echo "package-test: $*" >&2; exit 1; }
# Waits up to 15 s (or $3 tenths) for a file to hold a text.
wait_for() {
  for _ in $(seq "${3:-150}"); do grep -qF -- "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
  return 1
}

test_deb() {
  local deb triplet user_dir config
  deb=$(ls "$root"/out/packages/orbisk_"$version"_*.deb)
  echo "== lintian $(basename "$deb")"
  lintian --fail-on error,warning --info --show-overrides "$deb"

  echo "== install"
  installed=1
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
  triplet=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
  for f in /usr/bin/orbisk "/usr/lib/$triplet/orbisk/orbisk.so" /usr/lib/systemd/user/orbisk-serve.service \
           /usr/lib/systemd/user/orbisk-serve.socket /usr/share/man/man1/orbisk.1.gz \
           /usr/share/doc/orbisk/copyright /usr/share/doc/orbisk/examples/tv-remote.capture; do
    [ -e "$f" ] || fail "the package has no $f"
  done
  grep -qx "ExecStart=/usr/bin/orbisk serve" /usr/lib/systemd/user/orbisk-serve.service ||
    fail "orbisk-serve.service does not start /usr/bin/orbisk"
  [ "$(orbisk --version)" = "orbisk $version" ] || fail "orbisk --version says $(orbisk --version)"
  if command -v systemd-analyze >/dev/null; then
    echo "== systemd-analyze verify"
    # The user manager it models needs a runtime folder, also under root.
    mkdir -m 700 "$tmp/verify"
    XDG_RUNTIME_DIR=$tmp/verify systemd-analyze --user verify \
      /usr/lib/systemd/user/orbisk-serve.socket /usr/lib/systemd/user/orbisk-serve.service
  fi

  echo "== installed orbisk simulate -> orbisk serve -> irw, as user nobody"
  # The plug-in's folder is not writable by this user and holds no settings
  # file: the settings and the port links are in $XDG_CONFIG_HOME/orbisk.
  mkdir -p "$tmp/home/config" "$tmp/home/run"
  chmod 700 "$tmp/home/run"
  cp samples/orbisk.ini samples/tv-remote.capture "$tmp/home/"
  chown -R nobody: "$tmp/home"
  local user=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups
              env -i PATH=/usr/bin:/bin HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/config"
              XDG_RUNTIME_DIR="$tmp/home/run")
  as_user() { "${user[@]}" "$@"; }
  user_dir=$tmp/home/config/orbisk
  config=$(as_user orbisk settings --where)
  [ "$config" = "$user_dir/orbisk.ini" ] || fail "orbisk settings --where says $config"
  # --where only reports: the folder is the user's to make, private.
  as_user mkdir -m 700 -p "$user_dir"
  as_user cp "$tmp/home/orbisk.ini" "$config"
  start "${user[@]}" orbisk simulate --delay 1500 "$tmp/home/tv-remote.capture" >"$tmp/simulate.txt" 2>&1
  wait_for "$tmp/simulate.txt" "$user_dir/ports/com2" || fail "simulate: $(cat "$tmp/simulate.txt")"
  start "${user[@]}" orbisk serve >"$tmp/serve.txt" 2>&1
  for _ in $(seq 100); do [ -S "$tmp/home/run/lircd" ] && break; sleep 0.1; done
  start "${user[@]}" irw "$tmp/home/run/lircd" >"$tmp/irw.txt" 2>&1
  wait_for "$tmp/irw.txt" "Power Sony_TV" || fail "irw got: $(cat "$tmp/irw.txt"); serve: $(cat "$tmp/serve.txt")"
  grep -q "^0000000030781b59 00 Power TV$" "$tmp/irw.txt" || fail "irw got: $(cat "$tmp/irw.txt")"
  stop_all
  if pgrep -u nobody -f "^orbisk serve$|^irw $tmp/" >/dev/null; then fail "orbisk serve or irw still runs"; fi
  [ -e "/usr/lib/$triplet/orbisk/orbisk.ini" ] && fail "a settings file was written beside the installed plug-in"

  echo "== as root: the settings are root's own, never under /usr"
  # The package's folder is writable by root, yet holds no settings.
  config=$(env -i PATH=/usr/bin:/bin HOME="$tmp/root" orbisk settings --where)
  [ "$config" = "$tmp/root/.config/orbisk/orbisk.ini" ] || fail "as root, orbisk settings --where says $config"
  [ -e "$tmp/root" ] && fail "orbisk settings --where made a folder"

  echo "== purge"
  dpkg -L orbisk >"$tmp/files"
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq orbisk >/dev/null
  installed=0
  dpkg -L orbisk >/dev/null 2>&1 && fail "orbisk is still installed"
  while IFS= read -r f; do
    # Folders the package shares with others (/usr, /usr/bin, ...) stay.
    [ -d "$f" ] && [ "$(basename "$f")" != orbisk ] && continue
    [ -e "$f" ] && fail "$f is left after the purge"
  done <"$tmp/files"
  echo "deb: installed, ran, purged"
}

test_zip() {
  local zip folder out
  zip=$root/out/packages/orbisk-$version-win32.zip
  echo "== $(basename "$zip") in a fresh Wine prefix"
  export WINEPREFIX=$tmp/wine
  # shellcheck source=wine-env.sh
  source scripts/wine-env.sh
  folder=$WINEPREFIX/drive_c/Orbisk
  mkdir -p "$folder"
  (cd "$folder" && unzip -q "$zip" && sha256sum --quiet -c SHA256SUMS)
  [ "$(cd "$folder" && ls | tr '\n' ' ')" = "LICENSE.txt README.txt SHA256SUMS orbisk.dll orbisk.exe " ] ||
    fail "the zip holds $(ls "$folder")"

  out=$(wine "$folder/orbisk.exe" --version | tr -d '\r')
  [ "$out" = "orbisk $version" ] || fail "orbisk.exe --version says $out"
  for f in orbisk.dll orbisk.exe; do
    # The version resource's strings are UTF-16: dump the resource section
    # and read them back as text.
    i686-w64-mingw32-objcopy --dump-section .rsrc="$tmp/$f.rsrc" "$folder/$f" "$tmp/$f.copy"
    iconv -c -f UTF-16LE -t UTF-8 "$tmp/$f.rsrc" | tr -c '[:print:]' '\n' | grep . >"$tmp/$f.strings"
    for field in FileVersion ProductVersion; do
      grep -A1 -x "$field" "$tmp/$f.strings" | grep -qx "$version" || fail "$f: no $field $version"
    done
    grep -A1 -x FileDescription "$tmp/$f.strings" | grep -q Orbisk || fail "$f: no FileDescription"
    grep -A1 -x OriginalFilename "$tmp/$f.strings" | grep -qx "$f" || fail "$f: OriginalFilename is not $f"
  done

  # The plug-in reads COM5, one end of a null-modem pair; the simulator
  # writes COM6.  No settings file came with the zip: this one names the keys.
  sed 's/^COM=.*/COM=5/' samples/orbisk.ini >"$folder/orbisk.ini"
  start socat "pty,raw,echo=0,link=$WINEPREFIX/dosdevices/com5" "pty,raw,echo=0,link=$WINEPREFIX/dosdevices/com6" \
    </dev/null >/dev/null 2>&1
  for _ in $(seq 100); do [ -e "$WINEPREFIX/dosdevices/com6" ] && break; sleep 0.05; done
  # The host first: Wine starts slowly in a fresh prefix, and bytes played
  # before the plug-in holds its port are lost, as on a real line.
  start sh -c 'sleep 30 | wine "$0" run --seconds 12' "$folder/orbisk.exe" >"$tmp/run.txt" 2>"$tmp/run.err"
  local host=${pids##* }
  wait_for "$tmp/run.err" "started" 300 || fail "orbisk.exe run: $(cat "$tmp/run.err")"
  wine "$folder/orbisk.exe" simulate --port COM6 --delay 500 samples/tv-remote.capture >/dev/null
  wait "$host" || true
  wineserver -w
  stop_all
  grep -q "^press	Power	TV	" "$tmp/run.txt" && grep -q "^press	Power	Sony TV	" "$tmp/run.txt" ||
    fail "orbisk.exe run got: $(cat "$tmp/run.txt" "$tmp/run.err")"
  echo "zip: unpacked, ran under Wine, versions read back"
}

[ "$want_deb" = 0 ] || test_deb
[ "$want_zip" = 0 ] || test_zip
echo "package-test: passed in ${SECONDS}s"
