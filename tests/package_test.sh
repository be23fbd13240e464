#!/usr/bin/env bash
# The Debian package as a user meets it: built by CPack into a private folder,
# its fields, dependencies and file list, lintian, the menu entry and the manual
# pages, then both programs run from a throwaway root unpacked with dpkg-deb -x
# (nothing is installed into the system): the snapshot tool writes the scene,
# the viewer opens its window in a private Xvfb and ends on Esc with the three
# lines. Every wait is bounded; everything started is stopped on exit.
# A cross build's package (arm64) is checked the same way, its programs run
# under the emulator given.
# Usage: package_test.sh BUILD_DIR VERSION [ARCH [EMULATOR]]
#   ARCH      the package's Debian architecture (default: this machine's)
#   EMULATOR  runs that architecture's programs here (qemu-aarch64-static)
BUILD=$1
VERSION=$2
ARCH=${3:-$(dpkg --print-architecture)}
run=()
[ -n "${4:-}" ] && run=("$4")
. "$(dirname "$0")/testlib.sh"

for tool in cpack dpkg-deb dpkg-shlibdeps file lintian desktop-file-validate man objdump Xvfb xdotool identify; do
  command -v "$tool" >/dev/null || { fail "$tool is missing (scripts/install-deps package installs it)"; finish package; }
done

# The package, as make package builds it, but into the private folder.
if ! (cd "$BUILD" && cpack -G DEB -B "$TEST_DIR/out") >"$TEST_DIR/cpack.log" 2>&1; then
  cat "$TEST_DIR/cpack.log"; fail "cpack failed"; finish package
fi
deb=$TEST_DIR/out/glintworks_${VERSION}_${ARCH}.deb
[ -f "$deb" ] || { ls "$TEST_DIR/out"; fail "no glintworks_${VERSION}_amd64.deb"; finish package; }
pass "built $(basename "$deb"), $(stat -c %s "$deb") bytes"

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = glintworks ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$VERSION" ] || fail "Version: $(field Version), not $VERSION"
[ "$(field Architecture)" = "$ARCH" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = graphics ] || fail "Section: $(field Section)"
field Maintainer | grep -qE '^[^<]+ <[^@ ]+@[^> ]+>$' || fail "Maintainer: $(field Maintainer)"
[ "$(field Description | wc -l)" -ge 3 ] || fail "Description has no extended text: $(field Description)"

# Every library the programs load is provided by a package named in Depends, as
# dpkg-shlibdeps finds them; a hand-written list would miss one.
depends=$(field Depends)
dpkg-deb -x "$deb" "$TEST_DIR/root"
root=$TEST_DIR/root
for program in glintworks glintworks-snapshot; do
  objdump -p "$root/usr/bin/$program" | grep -qE 'R(UN)?PATH' && fail "$program keeps a search path into the build"
  objdump -p "$root/usr/bin/$program" | awk '$1 == "NEEDED" { print $2 }'
done | sort -u >"$TEST_DIR/needed"
# One dpkg -S for all the libraries, as each call reads the whole package
# database; a library is asked for by the path ldconfig knows and by the file
# that path leads to, as either may be the one its package lists. Another
# architecture's libraries (multiarch), which ldconfig does not list here, are
# looked for in that architecture's library folders.
native=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -a"$ARCH" -qDEB_HOST_MULTIARCH 2>/dev/null)
while read -r soname; do
  if [ "$ARCH" = "$native" ]; then
    path=$(ldconfig -p | awk -v s="$soname" '$1 == s && /x86-64/ { print $NF; exit }')
  else
    path=
    for folder in "/lib/$multiarch" "/usr/lib/$multiarch"; do
      [ -e "$folder/$soname" ] && { path=$folder/$soname; break; }
    done
  fi
  [ -n "$path" ] || { fail "the programs need $soname, which the system does not have"; continue; }
  echo "$soname $path $(readlink -f "$path")"
done <"$TEST_DIR/needed" >"$TEST_DIR/paths"
dpkg -S $(awk '{ print $2, $3 }' "$TEST_DIR/paths") 2>/dev/null | sed 's/:[^ ]*: / /; s/: / /' >"$TEST_DIR/owners"
while read -r soname path file; do
  owner=$(awk -v p="$path" -v f="$file" '$2 == p || $2 == f { print $1; exit }' "$TEST_DIR/owners")
  printf '%s\n' "$depends" | tr ',|' '\n\n' | awk '{ print $1 }' | grep -qxF "${owner:-?}" ||
    fail "the programs need $soname from ${owner:-no package}, which Depends does not name: $depends"
done <"$TEST_DIR/paths"
pass "Depends: $depends"

# The file list, and who owns what with which mode.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $1, $2, $6 }' | sort -k3 > "$TEST_DIR/files"
cat > "$TEST_DIR/expected" <<LIST
-rwxr-xr-x root/root usr/bin/glintworks
-rwxr-xr-x root/root usr/bin/glintworks-snapshot
-rw-r--r-- root/root usr/share/applications/glintworks.desktop
-rw-r--r-- root/root usr/share/doc/glintworks/LICENSE
-rw-r--r-- root/root usr/share/doc/glintworks/README.md
-rw-r--r-- root/root usr/share/doc/glintworks/changelog.gz
-rw-r--r-- root/root usr/share/doc/glintworks/copyright
-rw-r--r-- root/root usr/share/icons/hicolor/128x128/apps/glintworks.png
-rw-r--r-- root/root usr/share/icons/hicolor/256x256/apps/glintworks.png
-rw-r--r-- root/root usr/share/icons/hicolor/48x48/apps/glintworks.png
-rw-r--r-- root/root usr/share/man/man1/glintworks-snapshot.1.gz
-rw-r--r-- root/root usr/share/man/man6/glintworks.6.gz
LIST
diff "$TEST_DIR/expected" "$TEST_DIR/files" >"$TEST_DIR/files.diff" && pass "file list" ||
  fail "file list differs (expected, then packaged): $(cat "$TEST_DIR/files.diff")"
dpkg-deb -c "$deb" | awk '$1 ~ /^d/ && ($1 != "drwxr-xr-x" || $2 != "root/root")' | grep . &&
  fail "a folder is not drwxr-xr-x root/root"

# lintian: no error. Its other findings are printed for the record.
lintian --fail-on error --tag-display-limit 0 "$deb" >"$TEST_DIR/lintian.log" 2>&1
status=$?
sed 's/^/lintian: /' "$TEST_DIR/lintian.log"
[ $status -eq 0 ] && pass "lintian finds no error" || fail "lintian: status $status"

# The menu entry: valid, names a program of the package and an icon it has.
desktop=$root/usr/share/applications/glintworks.desktop
out=$(desktop-file-validate "$desktop" 2>&1)
[ $? -eq 0 ] && [ -z "$out" ] && pass "desktop-file-validate" || fail "desktop-file-validate: $out"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$root/usr/bin/$exec_name" ] || fail "Exec=$exec_name is not a program of the package"
grep -qx 'Icon=glintworks' "$desktop" || fail "the entry does not name the icon glintworks"
for size in 48 128 256; do
  icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/glintworks.png
  [ "$(identify -format '%m %wx%h' "$icon" 2>&1)" = "PNG ${size}x${size}" ] ||
    fail "icon $size: $(identify -format '%m %wx%h' "$icon" 2>&1)"
done

# The manual pages: no warning from man, the version, and every option that
# --help lists described in glintworks-snapshot(1).
for page in man6/glintworks.6.gz man1/glintworks-snapshot.1.gz; do
  warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$root/usr/share/man/$page" 2>&1 >"$TEST_DIR/page.txt")
  [ -z "$warnings" ] && pass "man --warnings $page" || fail "man --warnings $page: $warnings"
  grep -q "Glintworks $VERSION" "$TEST_DIR/page.txt" || fail "$page does not name version $VERSION"
done
MANWIDTH=80 man -E UTF-8 -l "$root/usr/share/man/man1/glintworks-snapshot.1.gz" 2>/dev/null >"$TEST_DIR/snapshot.txt"
for option in $("${run[@]}" "$root/usr/bin/glintworks-snapshot" --help | grep -oE -- '--[a-z]+' | sort -u); do
  grep -q -- "$option" "$TEST_DIR/snapshot.txt" || fail "glintworks-snapshot(1) does not describe $option"
done

# The unpacked snapshot tool: its version, and the same picture as the build's.
[ "$("${run[@]}" "$root/usr/bin/glintworks-snapshot" --version)" = "glintworks-snapshot $VERSION" ] ||
  fail "--version: $("${run[@]}" "$root/usr/bin/glintworks-snapshot" --version 2>&1)"
if "${run[@]}" "$root/usr/bin/glintworks-snapshot" "$TEST_DIR/packaged.png" &&
  "${run[@]}" "$BUILD/tools/glintworks-snapshot" "$TEST_DIR/built.png" &&
  cmp -s "$TEST_DIR/packaged.png" "$TEST_DIR/built.png"; then
  pass "the packaged snapshot tool writes the scene"
else
  fail "the packaged snapshot tool did not write the scene the build's does"
fi

# The unpacked viewer in a private Xvfb: its window, then Esc and the three lines.
xvfb_start "$TEST_DIR" 2>&1 || { fail "Xvfb did not start"; finish package; }
"${run[@]}" "$root/usr/bin/glintworks" >"$TEST_DIR/stdout" 2>"$TEST_DIR/stderr" &
APP_PID=$!
if id=$(xvfb_find_window Glintworks); then
  xdo key --window "$id" Escape
  wait_exit "$APP_PID" 10
  status=$STATUS
  [ "$status" = timeout ] || APP_PID=
  [ "$status" = 0 ] || fail "the packaged viewer ended with status $status: $(cat "$TEST_DIR/stderr")"
  [ "$(wc -l <"$TEST_DIR/stdout")" -eq 3 ] &&
    sed -n 1p "$TEST_DIR/stdout" | grep -qE '^Completed: [0-9]+$' &&
    sed -n 2p "$TEST_DIR/stdout" | grep -qE '^MS/frame:  [0-9.e+-]+$' &&
    sed -n 3p "$TEST_DIR/stdout" | grep -qE '^fps:       [0-9.e+-]+$' &&
    pass "the packaged viewer opened its window and ended on Esc with the three lines" ||
    fail "the packaged viewer printed: $(cat "$TEST_DIR/stdout")"
else
  fail "the packaged viewer showed no window: $(cat "$TEST_DIR/stderr")"
fi

finish package
