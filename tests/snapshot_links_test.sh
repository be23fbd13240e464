#!/usr/bin/env bash
# The snapshot tool among other users' files: a link that another user planted
# in a world-writable sticky directory is not followed (as the kernel's
# fs.protected_symlinks rule has it), links the kernel does follow still are,
# files are written only where the user may open them for writing, and a
# replaced file keeps its mode, owner and group. Needs root, to act as a second
# user (nobody, through setpriv); exits 77 (skipped) otherwise.
set -u
tool=$1
if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null || ! getent passwd 65534 >/dev/null; then
  echo "skip: needs root, setpriv and a user 65534"
  exit 77
fi
. "$(dirname "$0")/testlib.sh"
dir=$TEST_DIR
# The other user reaches the folders below.
chmod 0755 "$dir"
as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
# The tool where the other user can run it.
cp "$tool" "$dir/snapshot"
chmod 0755 "$dir/snapshot"
tool=$dir/snapshot
png() { [ "$(head -c 8 "$1" 2>/dev/null | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ]; }
# refused NAME ARGS...: the run fails with status 1 and one line.
refused() {
  local name=$1 err status
  shift
  err=$("$@" 2>&1 >/dev/null)
  status=$?
  [ $status -eq 1 ] || fail "$name: status $status"
  [ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] || fail "$name: not one line: $err"
}

mkdir -m 0700 "$dir/victim"
echo secret >"$dir/victim/important.conf"
chmod 0600 "$dir/victim/important.conf"
mkdir -m 1777 "$dir/shared"

# Another user's links in a sticky world-writable directory: to an existing
# root-only file and to a name that does not exist yet.
as_nobody ln -s ../victim/important.conf "$dir/shared/shot.png"
as_nobody ln -s ../victim/new.png "$dir/shared/dangling.png"
refused "another user's link" "$tool" --size 5x4 "$dir/shared/shot.png"
printf 'secret\n' | cmp -s - "$dir/victim/important.conf" || fail "the root-only file behind another user's link was replaced"
refused "another user's dangling link" "$tool" --size 5x4 "$dir/shared/dangling.png"
[ ! -e "$dir/victim/new.png" ] || fail "a file was made behind another user's dangling link"
[ -L "$dir/shared/shot.png" ] && [ -L "$dir/shared/dangling.png" ] || fail "a refused link was replaced"

# Links the kernel follows: root's own there, the other user's in a sticky
# directory of their own, and in a directory that is not sticky.
ln -s ../victim/own.png "$dir/shared/own.png"
"$tool" --size 5x4 "$dir/shared/own.png" && png "$dir/victim/own.png" || fail "root's own link was not written through"
mkdir -m 1777 "$dir/theirs"
chown 65534 "$dir/theirs"
as_nobody ln -s ../victim/theirs.png "$dir/theirs/link.png"
"$tool" --size 5x4 "$dir/theirs/link.png" && png "$dir/victim/theirs.png" ||
  fail "a link of the sticky directory's owner was not written through"
mkdir "$dir/plain"
ln -s ../victim/plain.png "$dir/plain/link.png"
chown -h 65534 "$dir/plain/link.png"
"$tool" --size 5x4 "$dir/plain/link.png" && png "$dir/victim/plain.png" ||
  fail "another user's link in a directory that is not sticky was not written through"

# Replacing another user's file keeps its owner, group and mode.
touch "$dir/plain/kept.png"
chown 65534:65534 "$dir/plain/kept.png"
chmod 0640 "$dir/plain/kept.png"
"$tool" --size 5x4 "$dir/plain/kept.png" && png "$dir/plain/kept.png" || fail "another user's file was not replaced"
[ "$(stat -c '%u:%g %a' "$dir/plain/kept.png")" = "65534:65534 640" ] ||
  fail "the replaced file is $(stat -c '%u:%g %a' "$dir/plain/kept.png"), not 65534:65534 640"

# As the other user: their own link in the sticky directory to a file of
# theirs is written through; a file they may not write is not replaced, even
# where they may write the directory.
as_nobody ln -s ../theirs/mine.png "$dir/shared/mine.png"
as_nobody "$tool" --size 5x4 "$dir/shared/mine.png" && png "$dir/theirs/mine.png" ||
  fail "a user's own link in a sticky directory was not written through"
as_nobody touch "$dir/theirs/readonly.png"
chmod 0444 "$dir/theirs/readonly.png"
refused "a read-only file" as_nobody "$tool" --size 5x4 "$dir/theirs/readonly.png"
[ ! -s "$dir/theirs/readonly.png" ] || fail "a file the user may not write was replaced"
refused "root's link to a root-only file" as_nobody "$tool" --size 5x4 "$dir/shared/own.png"

if ls -a "$dir"/* | grep -q tmp-; then fail "a temporary file was left behind"; fi
finish "snapshot links"
