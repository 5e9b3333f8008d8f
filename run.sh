#!/usr/bin/env bash
# Builds the program and runs it against the virtual handset on a pseudo-terminal.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

build=build/release # the "release" preset's folder
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)"
program="$build/program"

config="${QUORVEL_CONFIG_DIR:-${XDG_CONFIG_HOME:-$HOME/.config}/Quorvel}"
mkdir -p "$config"
ready=$(mktemp)
"$program/quorvel-handset" --state "$config/virtual-handset.state" >"$ready" &
handset=$!
trap 'kill $handset 2>/dev/null || true; wait $handset 2>/dev/null || true; rm -f "$ready"' EXIT
for _ in $(seq 50); do
    grep -q 'COM' "$ready" && break
    sleep 0.1
done
line=$(head -n 1 "$ready")
com=$(sed -n 's/.*(\(COM[0-9]*\)).*/\1/p' <<<"$line")
[ -n "$com" ] || { echo "The virtual handset did not start." >&2; exit 1; }
echo "$line"
"$program/quorvel-cli" --port "$com" set-port

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]; then
    "$program/quorvel" "$@"
    exit 0
fi

echo "No display is available, so here is a short session with the command-line tool instead."
cli() {
    echo
    printf '$ quorvel-cli'; printf ' %q' "$@"; echo
    "$program/quorvel-cli" "$@" || true
}
cli probe
cli info
cli send "02 5D 16"
cli --yes write-memory 0x0100 "51 75 6F 72 76 65 6C"
cli read-memory 0x0100 32
echo
echo "The virtual handset stops now; its memory is kept in $config/virtual-handset.state."
