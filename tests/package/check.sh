#!/usr/bin/env bash
# Builds the Debian package from an already built tree and checks it as Debian's tools
# and a user meet it: the file list and control fields, the two metadata validators,
# lintian (when installed), the executable's hardening, and the unpacked program
# running scripts that include a library file and starting its window as a user.
# Usage: check.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1
build=$2
work=$(mktemp -d /tmp/orvel-package.XXXXXX)
gui_pid=
cleanup() {
  [ -n "$gui_pid" ] && kill "$gui_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# cpack reuses the build: its install step only copies and strips what is built.
if ! (cd "$build" && timeout 120 cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1); then
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack" >&2
  exit 1
fi
deb=$(ls "$work"/out/orvel_*.deb)
echo "package: $(basename "$deb")"

# --- file list: everything a user and the desktop look for, nothing from the build
dpkg-deb -c "$deb" >"$work/contents"
files=$(awk '$1 !~ /^d/ {print $6}' "$work/contents" | sed 's|^\./|/|')
app=org.orvel.Workbench
for f in /usr/bin/orvel /usr/share/orvel/lib/greeting.js /usr/share/orvel/examples/hello.js \
  /usr/share/orvel/README.md /usr/share/orvel/docs/workbench.png \
  /usr/share/orvel/docs/automation.md /usr/share/dbus-1/services/$app.service \
  /usr/share/applications/$app.desktop /usr/share/metainfo/$app.metainfo.xml \
  /usr/share/icons/hicolor/scalable/apps/$app.svg /usr/share/icons/hicolor/16x16/apps/$app.png \
  /usr/share/icons/hicolor/48x48/apps/$app.png /usr/share/icons/hicolor/256x256/apps/$app.png \
  /usr/share/man/man1/orvel.1.gz /usr/share/doc/orvel/copyright /usr/share/doc/orvel/changelog.gz; do
  grep -qxF "$f" <<<"$files" || fail "the package lacks $f"
done
stray=$(grep -vE '^/usr/bin/orvel$|^/usr/share/(orvel|applications|metainfo|icons/hicolor|man/man1|doc/orvel|dbus-1/services)/' <<<"$files" || true)
[ -z "$stray" ] || fail "files outside the expected places: $stray"
awk '$2 != "root/root" {print}' "$work/contents" | grep . && fail "files not owned by root"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6dbus6 libmozjs-102 libcurl4; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

dpkg-deb -x "$deb" "$work/root"
root=$work/root

# --- metadata validators
desktop-file-validate "$root/usr/share/applications/$app.desktop" || fail "desktop-file-validate"
grep -qx 'Exec=orvel %f' "$root/usr/share/applications/$app.desktop" || fail "desktop Exec line"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app.metainfo.xml" ||
  fail "appstreamcli validate"
printf '[D-BUS Service]\nName=%s\nExec=/usr/bin/orvel /AUTOMATION\n' $app |
  cmp -s - "$root/usr/share/dbus-1/services/$app.service" || fail "D-Bus activation file"
if command -v lintian >/dev/null; then
  timeout 180 lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian"
else
  echo "lintian not installed: skipped"
fi

# --- hardening of the shipped executable
exe=$root/usr/bin/orvel
header=$(readelf -h "$exe")
dynamic=$(readelf -d "$exe")
grep -q 'Type: *DYN' <<<"$header" || fail "not position independent"
grep -q 'FLAGS_1.*PIE' <<<"$dynamic" || fail "not linked as PIE"
grep -q GNU_RELRO <<<"$(readelf -lW "$exe")" || fail "no RELRO segment"
grep -qE 'BIND_NOW|FLAGS_1.* NOW' <<<"$dynamic" || fail "not bound at start (bind-now)"
symbols=$(readelf --dyn-syms -W "$exe")
grep -q '__stack_chk_fail' <<<"$symbols" || fail "no stack protector"
grep -vq '__stack_chk' <<<"$(grep -o '__[a-z]*_chk' <<<"$symbols")" || fail "no fortified calls"
grep -q '\.debug_info' <<<"$(readelf -SW "$exe")" && fail "the executable is not stripped"

# --- the unpacked program as an unprivileged user: scripts that include a library
# file, found in the installed library folder, since nothing lies beside the program.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
mkdir -p "$work/scripts" "$work/home"
chmod 777 "$work/home"
# The user's script is a command: its #! line finds the unpacked orvel on PATH.
printf '#!/usr/bin/env -S orvel --run\n#include <greeting.js>\nsys.out(greeting("package"));\n' \
  >"$work/scripts/user.js"
chmod -R a+rX "$work/scripts"
chmod +x "$work/scripts/user.js"
run_env=(env -i PATH="$root/usr/bin:/usr/bin:/bin" HOME="$work/home"
  DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent)
out=$("${as_user[@]}" "${run_env[@]}" timeout 60 "$work/scripts/user.js" 2>"$work/err") ||
  fail "a user script run as a command: $out $(cat "$work/err")"
[ "$out" = "Hello, package!" ] || fail "a user script run as a command printed: $out"
out=$("${as_user[@]}" "${run_env[@]}" timeout 60 "$exe" --run "$root/usr/share/orvel/examples/hello.js" --no-wait 2>"$work/err") ||
  fail "--run of the installed sample: $out $(cat "$work/err")"
[ "$out" = "Hello, world!" ] || fail "--run of the installed sample printed: $out"

# --- first start of the window: it shows Orvel's icon from the installed files, opens
# the installed sample, and Ctrl+S writes the workspace file into the user's
# configuration folder, never beside the program (not even for root, who could).
sample=$root/usr/share/orvel/examples/hello.js
first_start() {  # NAME [COMMAND-PREFIX...]: a fresh home for each
  local name=$1
  local home=$work/home-$name
  shift
  mkdir -p "$home" && chmod 777 "$home"
  local ini=$home/.config/orvel/orvel.ini
  # Xvfb picks a free display itself (-displayfd): no race with servers of other tests.
  "$@" env -i PATH=/usr/bin:/bin HOME="$home" DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent \
    XDG_DATA_DIRS="$root/usr/share:/usr/share" ORVEL_EXE="$exe" timeout 60 bash -c '
      Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$HOME/display" 2>/dev/null &
      xvfb=$!
      for i in $(seq 1 100); do [ -s "$HOME/display" ] && break; sleep 0.1; done
      export DISPLAY=:$(cat "$HOME/display")
      "$ORVEL_EXE" 2>/dev/null &
      pid=$!
      win=$(timeout 20 xdotool search --sync --onlyvisible --name "Orvel configurator" | head -1)
      xdotool windowfocus --sync "$win" 2>/dev/null || true
      xprop -len 16 -id "$win" _NET_WM_ICON >"$HOME/icon" 2>&1
      for i in $(seq 1 100); do
        [ -s "$HOME/.config/orvel/orvel.ini" ] && break
        xdotool key --clearmodifiers ctrl+s
        sleep 0.2
      done
      kill $pid; wait $pid 2>/dev/null
      kill $xvfb; wait $xvfb 2>/dev/null; true'
  if [ ! -s "$ini" ]; then
    fail "first start as $name: no workspace file in $home/.config/orvel"
    return
  fi
  [ "$(sed -n 3p "$ini" | tr -d '\r')" = "$sample" ] || fail "first start as $name, main file: $(sed -n 3p "$ini")"
  grep -q ",$sample" "$ini" || fail "first start as $name opened no page for the sample: $(cat "$ini")"
  grep -q '_NET_WM_ICON(CARDINAL)' "$home/icon" || fail "the window has no icon: $(cat "$home/icon")"
}
first_start user "${as_user[@]}"
[ "$(id -u)" -eq 0 ] && first_start root

# --- a headless run's window shows the icon too (set as the run's first form shows,
# not before the script starts).
home=$work/home-run
mkdir -p "$home" && chmod 777 "$home"
"${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$home" DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent \
  XDG_DATA_DIRS="$root/usr/share:/usr/share" ORVEL_EXE="$exe" SAMPLE="$sample" timeout 60 bash -c '
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$HOME/display" 2>/dev/null &
    xvfb=$!
    for i in $(seq 1 100); do [ -s "$HOME/display" ] && break; sleep 0.1; done
    export DISPLAY=:$(cat "$HOME/display")
    "$ORVEL_EXE" --run "$SAMPLE" >/dev/null 2>&1 &
    pid=$!
    win=$(timeout 20 xdotool search --sync --onlyvisible --name "Hello from Orvel" | head -1)
    for i in $(seq 1 20); do
      xprop -len 16 -id "$win" _NET_WM_ICON >"$HOME/icon" 2>&1
      grep -q "_NET_WM_ICON(CARDINAL)" "$HOME/icon" && break
      sleep 0.1
    done
    kill $pid; wait $pid 2>/dev/null
    kill $xvfb; wait $xvfb 2>/dev/null; true'
grep -q '_NET_WM_ICON(CARDINAL)' "$home/icon" || fail "a headless run's window has no icon: $(cat "$home/icon")"
ls "$root/usr/bin" | grep -v '^orvel$' && fail "files written beside the installed program"

if [ "$failures" -ne 0 ]; then
  echo "$failures package check(s) failed" >&2
  exit 1
fi
echo "package checks passed"
