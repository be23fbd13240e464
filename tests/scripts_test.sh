#!/usr/bin/env bash
# The helper scripts a user runs on their own machine:
# - scripts/serve-web serves the page's three files and nothing else of the
#   build folder, never a listing, and only to requests for localhost or
#   127.0.0.1 (not to a rebound name of another site);
# - scripts/install-deps, run as a user, gets DEBIAN_FRONTEND past sudo (which
#   drops the environment) and never lets apt remove packages (fakes of sudo,
#   apt-get and dpkg-query record what it asks).
root=$(cd "$(dirname "$0")/.." && pwd)
. "$(dirname "$0")/testlib.sh"
dir=$TEST_DIR
server=
at_exit 'stop_process "$server"'

# serve-web, on a port of its choosing, over a build folder's usual contents.
mkdir -p "$dir/app/CMakeFiles"
echo '<html>page</html>' >"$dir/app/glintworks.html"
echo 'var Module;' >"$dir/app/glintworks.js"
printf '\0asm\1\0\0\0' >"$dir/app/glintworks.wasm"
echo 'CMAKE_HOME_DIRECTORY:INTERNAL=/home/user/glintworks' >"$dir/app/CMakeCache.txt"
echo 'archive' >"$dir/app/libglintworks_app.a"
"$root/scripts/serve-web" "$dir/app" 0 >"$dir/serve.out" 2>"$dir/serve.err" &
server=$!
port=
for _ in $(seq 1 1000); do
  port=$(sed -n 's|.*http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$dir/serve.out")
  [ -n "$port" ] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.02
done
if [ -z "$port" ]; then
  fail "serve-web did not start: $(cat "$dir/serve.err")"
else
  # get PATH [HOST]: prints the status code; the body goes to $dir/body. An empty
  # HOST sends none.
  get() {
    local host=${2-127.0.0.1:$port}
    # "Host:" alone sends no Host header at all.
    curl -s --path-as-is --max-time 10 -o "$dir/body" -w '%{http_code}' -H "Host:${host:+ $host}" \
      "http://127.0.0.1:$port$1"
  }
  for f in glintworks.html glintworks.js glintworks.wasm; do
    [ "$(get "/$f")" = 200 ] && cmp -s "$dir/body" "$dir/app/$f" || fail "/$f was not served"
  done
  [ "$(get / "localhost:$port")" = 200 ] && cmp -s "$dir/body" "$dir/app/glintworks.html" ||
    fail "/ for localhost is not the page"
  type=$(curl -s --max-time 10 -o /dev/null -w '%{content_type}' "http://127.0.0.1:$port/glintworks.wasm")
  [ "$type" = application/wasm ] || fail "the module is served as '$type'"
  for path in /CMakeCache.txt /libglintworks_app.a /CMakeFiles/ /CMakeFiles /../app/CMakeCache.txt \
    /%2e%2e/app/glintworks.html /glintworks.html/; do
    code=$(get "$path")
    [ "$code" = 404 ] || fail "$path: status $code"
    grep -q -e CMAKE -e archive -e 'Directory listing' "$dir/body" && fail "$path gave away the build folder"
  done
  for host in evil.example "evil.example:$port" "127.0.0.1.evil.example:$port" "localhost:1" ""; do
    code=$(get /glintworks.html "$host")
    [ "$code" = 403 ] || fail "Host '$host': status $code"
    grep -q page "$dir/body" && fail "Host '$host' was given the page"
  done
fi

# install-deps as a user with sudo, every package missing.
mkdir "$dir/bin"
cat >"$dir/bin/sudo" <<'EOF'
#!/bin/sh
# As sudo does by default: the command runs with a fresh environment.
exec env -i PATH="$PATH" "$@"
EOF
cat >"$dir/bin/apt-get" <<EOF
#!/bin/sh
echo "DEBIAN_FRONTEND=\${DEBIAN_FRONTEND:-} \$*" >>"$dir/apt.log"
EOF
printf '#!/bin/sh\nexit 1\n' >"$dir/bin/dpkg-query"
printf '#!/bin/sh\necho 1000\n' >"$dir/bin/id"
chmod +x "$dir/bin/"*
PATH="$dir/bin:$PATH" bash "$root/scripts/install-deps" run >/dev/null || fail "install-deps failed"
grep -q '^DEBIAN_FRONTEND=noninteractive .*install .*--no-remove .*libsdl2-dev' "$dir/apt.log" ||
  fail "apt-get install was not run non-interactively with --no-remove: $(cat "$dir/apt.log" 2>/dev/null)"
if grep -v '^DEBIAN_FRONTEND=noninteractive ' "$dir/apt.log"; then fail "apt-get ran interactively"; fi

finish scripts
