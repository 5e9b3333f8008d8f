#!/usr/bin/env bash
# Builds the program and runs it against the virtual handset on a pseudo-terminal.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

build=build/release # the "release" preset's folder
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)"
program="$PWD/$build/program"

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

# Without a display, the program's main job from the command line, which runs the same operations: read
# the handset's phone book, show the plan of writing a small list, write it, and verify the handset.
work=$(mktemp -d)
trap 'kill $handset 2>/dev/null || true; wait $handset 2>/dev/null || true; rm -rf "$ready" "$work"' EXIT
printf '%s\r\n' "Anna Berg,0301234567" "Bob Lund,0407 1122" "Carla Diaz,0501 9" >"$work/team.phb"
cd "$work"
echo "No display: the main job from the command line (handset memory in $config/virtual-handset.state)."
# Messages (stderr) only when a command fails; its data and its results on stdout.
cli() {
    printf '$ quorvel-cli'
    printf ' %q' "$@"
    echo
    "$program/quorvel-cli" "$@" 2>"$work/messages" || { sed 's/^/  /' "$work/messages"; return 1; }
}
cli phonebook read -o handset.phb
cli --dry-run phonebook write team.phb --replace
cli --yes phonebook write team.phb --replace
cli verify team.phb
