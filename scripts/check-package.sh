#!/usr/bin/env bash
# Builds Pavo's Debian package, installs it and checks it the way a desktop uses it:
# the desktop entry and metainfo validate, the package depends on the libraries it
# links, and the installed program opens an image from the command line, from the
# Exec line of its desktop entry and through xdg-open once it is the default viewer.
# Needs root or password-less sudo (apt installs the package). CI runs it on Debian 12;
# the package is left installed.
set -euo pipefail
cd "$(dirname "$0")/.."
# wait_for, the bounded poll the end-to-end tests use; what this script defines below
# takes the place of the tests' own helpers of the same name.
# shellcheck source=tests/e2e/lib.sh
source tests/e2e/lib.sh

id=io.github.pavo_viewer.Pavo
# PAVO_PACKAGE_BUILD=FOLDER packages the program of a build folder already configured
# (CI uses the tests' own); by default a release is configured in build-package/.
build=${PAVO_PACKAGE_BUILD:-build-package}
started=$SECONDS

say() { echo "check-package: $*"; }
fail() {
  echo "check-package: FAILED: $*" >&2
  exit 1
}

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  as_root=(sudo)
else
  fail "installing the package needs root; run this script as root or as a user with password-less sudo"
fi

./scripts/install-deps.sh

# ---------------------------------------------------------------- the desktop files

say "validating dist/$id.desktop"
desktop-file-validate "dist/$id.desktop" || fail "desktop-file-validate rejects dist/$id.desktop"

# appstreamcli fails on warnings as well as errors; its notes (I:, P:) are allowed.
say "validating dist/$id.metainfo.xml"
report=$(appstreamcli validate --no-net "dist/$id.metainfo.xml" 2>&1) ||
  fail "appstreamcli rejects the metainfo:"$'\n'"$report"

say "checking the manual page"
man_warnings=$(groff -man -ww -z dist/pavo.1 2>&1) || fail "groff cannot read dist/pavo.1"
[ -z "$man_warnings" ] || fail "groff warns about dist/pavo.1:"$'\n'"$man_warnings"

# ---------------------------------------------------------------- build and package

if [ -z "${PAVO_PACKAGE_BUILD:-}" ]; then
  say "building a release in $build/"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DPAVO_BUILD_TESTS=OFF -DPAVO_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
fi
[ -f "$build/CPackConfig.cmake" ] || fail "$build/ is not a configured build folder"
cmake --build "$build" --target pavo pavo_manual

# The installed tree as the package will hold it: appstreamcli checks the metainfo
# there against the rest (its launchable names an installed desktop entry).
rm -rf "$build/stage"
# The prefix the package uses, whatever the build folder was configured with: the check
# looks under usr/share only.
DESTDIR="$PWD/$build/stage" cmake --install "$build" --prefix /usr >/dev/null
[ -f "$build/stage/usr/share/metainfo/$id.metainfo.xml" ] || fail "the staged install has no metainfo"
report=$(appstreamcli validate-tree --no-net "$build/stage" 2>&1) ||
  fail "appstreamcli rejects the installed tree:"$'\n'"$report"

say "making the Debian package"
rm -f "$build"/pavo_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/pavo_*.deb)
if [ ! -f "${debs[0]}" ] || [ ${#debs[@]} -ne 1 ]; then fail "cpack made no single pavo_*.deb in $build/"; fi
deb=${debs[0]}
say "made $deb"

depends=$(dpkg-deb --field "$deb" Depends)
say "Depends: $depends"
[ -n "$depends" ] || fail "the package has no dependencies (dpkg-shlibdeps did not run?)"
grep -q 'libqt6' <<<"$depends" || fail "the package does not depend on Qt 6"
grep -q 'libopencv' <<<"$depends" || fail "the package does not depend on OpenCV"
# Loaded at run time, so only named by hand.
grep -q 'libopencv-imgcodecs' <<<"$depends" || fail "the package does not depend on OpenCV's image codecs"

# Only the program and its desktop files: no tests, benchmarks or sample writer.
contents=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n 's|^\./|/|p' | grep -v '/$')
expected="/usr/bin/pavo
/usr/lib/pavo/libpavo_fetch.so
/usr/lib/pavo/libpavo_formats.so
/usr/share/applications/$id.desktop
/usr/share/metainfo/$id.metainfo.xml
/usr/share/icons/hicolor/scalable/apps/$id.svg
/usr/share/man/man1/pavo.1.gz
/usr/share/doc/pavo/copyright"
for n in 16 22 24 32 48 64 128 256; do
  expected+=$'\n'"/usr/share/icons/hicolor/${n}x${n}/apps/$id.png"
done
if [ "$(sort <<<"$contents")" != "$(sort <<<"$expected")" ]; then
  fail "the package holds other files than expected:"$'\n'"$(diff <(sort <<<"$expected") <(sort <<<"$contents") || true)"
fi

# ---------------------------------------------------------------- install

say "installing $deb"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall "./$deb" >/dev/null
[ "$(dpkg-query -W -f='${Status}' pavo)" = "install ok installed" ] || fail "dpkg does not list pavo as installed"
[ "$(command -v pavo)" = /usr/bin/pavo ] || fail "pavo on the PATH is $(command -v pavo || echo nothing), not /usr/bin/pavo"
desktop=/usr/share/applications/$id.desktop
[ -f "$desktop" ] || fail "$desktop is missing"
icon=$(sed -n 's/^Icon=//p' "$desktop")
for n in 16 22 24 32 48 64 128 256; do
  [ -f "/usr/share/icons/hicolor/${n}x${n}/apps/$icon.png" ] || fail "the entry's icon '$icon' has no ${n}x${n} picture"
done
[ -f "/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "the entry's icon '$icon' has no scalable picture"
# desktop-file-utils' trigger files the entry under each of its types.
grep -q "^image/png=.*$id.desktop" /usr/share/applications/mimeinfo.cache ||
  fail "the desktop's MIME cache does not list $id.desktop for image/png"
man -w pavo >/dev/null 2>&1 || fail "man does not find the pavo manual page"
man_text=$(MANWIDTH=80 man pavo 2>&1) || fail "man cannot show the pavo manual page:"$'\n'"$man_text"
grep -q 'fast single-window image viewer' <<<"$man_text" || fail "the installed manual page reads wrongly"

# ---------------------------------------------------------------- run it on a desktop

work=$(mktemp -d "${TMPDIR:-/tmp}/pavo-package.XXXXXX")
pids=()
cleanup() {
  local i
  # Newest first: Pavo, then the window manager, then the display.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do wait "${pids[i]}" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP


# A desktop of its own: no settings, MIME defaults or session of the caller's are used
# or changed, and Qt chooses its platform as it would for a user (X11 here).
unset QT_QPA_PLATFORM WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER
unset XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
export XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# A display number well above the ones other X servers take first (Xvfb -displayfd,
# as the end-to-end tests use, counts up from 0, and two servers starting at once
# there can take each other's socket); a number whose server does not come up is
# passed over.

# display_up PID: 0 once the display answers, 1 when its server PID has ended, 2 meanwhile.
display_up() {
  if xdpyinfo >/dev/null 2>&1; then return 0; fi
  if ! kill -0 "$1" 2>/dev/null; then return 1; fi
  return 2
}
DISPLAY=
for n in 93 94 95 96 97 98 99; do
  if [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; then continue; fi
  # -noreset: without it the server resets when its last client (the probe below)
  # leaves, and the window manager's connection can arrive in the middle of it.
  Xvfb ":$n" -noreset -nolisten tcp -screen 0 1920x1080x24 >"$work/xvfb.log" 2>&1 &
  xvfb=$!
  pids+=("$xvfb")
  state=2
  for _ in $(seq 100); do
    state=0
    DISPLAY=":$n" display_up "$xvfb" || state=$?
    [ "$state" -eq 2 ] || break
    sleep 0.1
  done
  if [ "$state" -eq 0 ]; then
    DISPLAY=":$n"
    break
  fi
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  unset 'pids[-1]'
done
[ -n "$DISPLAY" ] || fail "no Xvfb display could be started on :93 to :99: $(tail -3 "$work/xvfb.log")"
export DISPLAY
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for 10 wmctrl -m >/dev/null 2>&1 || fail "openbox did not start: $(tail -3 "$work/openbox.log")"
say "desktop on $DISPLAY with openbox"

wm_class=$(sed -n 's/^StartupWMClass=//p' "$desktop")

# pavo_window: the id of Pavo's visible window, when there is one.
pavo_window() { xdotool search --onlyvisible --class pavo 2>/dev/null | head -n 1 | grep .; }

title_is() { [ "$(xdotool getwindowname "$1" 2>/dev/null)" = "$2" ]; }

# expect_window HOW PATH: waits for Pavo's window, checks its title names PATH and its
# class is the desktop entry's, then ends that Pavo.
expect_window() {
  local how=$1 path=$2 window title class pid
  wait_for 10 pavo_window >/dev/null || fail "$how: no Pavo window appeared within 10 s"
  window=$(pavo_window)
  # The title is set with the first image; give it a moment after the window maps.
  wait_for 5 title_is "$window" "$path" || true
  title=$(xdotool getwindowname "$window")
  [ "$title" = "$path" ] || fail "$how: the window's title is '$title', not '$path'"
  class=$(xprop -id "$window" WM_CLASS | sed -n 's/^WM_CLASS(STRING) = "\([^"]*\)".*/\1/p')
  [ "$class" = "$wm_class" ] || fail "$how: WM_CLASS is '$class', the desktop entry says '$wm_class'"
  pid=$(xdotool getwindowpid "$window")
  [ "$(readlink "/proc/$pid/exe")" = /usr/bin/pavo ] || fail "$how: the window belongs to $(readlink "/proc/$pid/exe"), not /usr/bin/pavo"
  say "$how: window '$title' (class $class, process $pid)"
  kill "$pid"
  wait_for 5 sh -c '! xdotool search --onlyvisible --class pavo >/dev/null 2>&1' ||
    fail "$how: Pavo's window stayed after it was told to end"
}

# 1. The installed program from the command line. Names with spaces on purpose: each
#    path must reach Pavo as one argument.
sample=$PWD/samples/01\ sunset.jpg
/usr/bin/pavo "$sample" >"$work/pavo-command.log" 2>&1 &
pids+=($!)
expect_window "command line" "$sample"

# 2. The Exec line of the installed desktop entry, its field codes expanded as a
#    launcher does (%f %F %u %U: the file; %i %c %k: left out here).
exec_line=$(sed -n 's/^Exec=//p' "$desktop" | head -n 1)
[ -n "$exec_line" ] || fail "$desktop has no Exec line"
# Words are split at spaces; the entry quotes nothing, and this check would need to
# learn the entry format's quoting the day it does.
case $exec_line in *[\"\'\\]*) fail "the Exec line '$exec_line' has quoting this check does not parse" ;; esac
sample=$PWD/samples/08\ rings.webp
read -ra words <<<"$exec_line"
command=()
for word in "${words[@]}"; do
  case $word in
    %[fFuU]) command+=("$sample") ;;
    %[ick]) ;;
    *) command+=("$word") ;;
  esac
done
say "desktop entry runs: ${command[*]}"
"${command[@]}" >"$work/pavo-entry.log" 2>&1 &
pids+=($!)
expect_window "desktop entry" "$sample"

# 3. Pavo as the default for every type it opens, then a file opened the way other
#    programs open one: xdg-open looks up the default and runs its desktop entry.
mapfile -t types < <(sed -n 's/^MimeType=//p' "$desktop" | tr ';' '\n' | grep .)
[ ${#types[@]} -gt 0 ] || fail "$desktop lists no MIME types"
xdg-mime default "$id.desktop" "${types[@]}"
for type in "${types[@]}"; do
  default=$(xdg-mime query default "$type")
  [ "$default" = "$id.desktop" ] || fail "xdg-mime gives '$default' as the default for $type"
done
say "xdg-mime: $id.desktop is the default for ${types[*]}"
for sample in "$PWD/samples/02 alpha grid.png" "$PWD/samples/12 sunset.heic" \
  "$PWD/samples/13 alpha grid.avif" "$PWD/samples/14 deep rings.jxl" "$PWD/samples/15 two frames.gif"; do
  xdg-open "$sample" >"$work/xdg-open.log" 2>&1 &
  pids+=($!)
  expect_window "xdg-open" "$sample"
done

# 4. The decoders of HEIF, AVIF, JPEG XL and GIF, which the program loads when it needs them,
#    are where it looks and find every library they need.
#    So is the update check's fetch.
for module in /usr/lib/pavo/libpavo_formats.so /usr/lib/pavo/libpavo_fetch.so; do
  [ -f "$module" ] || fail "$module is not installed"
  ! ldd "$module" | grep -q "not found" || fail "$module misses libraries: $(ldd "$module" | grep "not found")"
done

say "passed in $((SECONDS - started)) s"
