#!/usr/bin/env bash
# Installs the build into a temporary prefix, builds examples/embed against it twice (a fresh
# CMake run with find_package, then the compiler with `pkg-config --cflags --libs` alone), and runs
# both builds against the installed zqdl's sample server. Usage: check-embedding.sh BUILD_DIR
# [C++ compiler]
set -euo pipefail
build=$(cd "$1" && pwd)
cxx=${2:-c++}
source=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

# The installed zqdl serves the installed sample application on a free port.
"$prefix/bin/zqdl" --app-dir "$work/zqdl" serve --port 0 >"$work/serve.out" 2>&1 &
server_pid=$!
url=
for _ in $(seq 1 100); do
  url=$(sed -n 's/^serving \(http[^ ]*\).*/\1/p' "$work/serve.out")
  [ -n "$url" ] && break
  sleep 0.1
done
[ -n "$url" ] || { echo "the installed zqdl did not serve:"; cat "$work/serve.out"; exit 1; }
model=$prefix/share/zqdatalayerremote/sample-app/model.json

check_run() {
  local program=$1 out
  out=$("$program" "$model" "$url")
  echo "$out" | head -3
  echo "$out" | grep -q '^rows: [1-9]' || { echo "$program printed no rows"; echo "$out"; exit 1; }
}

echo "== find_package"
cmake -S "$source/examples/embed" -B "$work/embed" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/embed" >/dev/null
check_run "$work/embed/zq_embed_example"

echo "== pkg-config"
# shellcheck disable=SC2046
"$cxx" -o "$work/embed-pc" "$source/examples/embed/main.cpp" \
  $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs zqdatalayerremote)
check_run "$work/embed-pc"
echo "embedding: both builds ran"
