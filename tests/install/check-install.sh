#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop and a person find there: the
# programs and their folder, the menu entry, icon and metainfo (validated), the man pages and the
# completion; then runs the installed tool, which must find the files of its program folder.
set -uo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install" >&2; exit 1; }
app_id=$(sed -n 's/^QUORVEL_APP_ID:STRING=//p' "$build/CMakeCache.txt")

for f in bin/quorvel bin/quorvel-cli bin/quorvel-handset \
    libexec/quorvel/quorvel libexec/quorvel/quorvel-cli libexec/quorvel/quorvel-handset \
    libexec/quorvel/settings.cfg libexec/quorvel/sim_list/VSIMLIST.xml \
    libexec/quorvel/QuorvelUserGuide.pdf libexec/quorvel/AboutLogo.bmp libexec/quorvel/installed \
    "share/applications/$app_id.desktop" "share/icons/hicolor/scalable/apps/$app_id.svg" \
    "share/metainfo/$app_id.metainfo.xml" share/man/man1/quorvel.1.gz share/man/man1/quorvel-cli.1.gz \
    share/man/man1/quorvel-handset.1.gz share/doc/quorvel/copyright share/doc/quorvel/changelog.gz \
    share/bash-completion/completions/quorvel-cli share/zsh/vendor-completions/_quorvel-cli \
    share/fish/vendor_completions.d/quorvel-cli.fish share/quorvel/quorvel-records.sql \
    lib/udev/rules.d/60-quorvel.rules; do
    [ -e "$prefix/$f" ] || fail "$f is not installed"
done
for p in quorvel quorvel-cli quorvel-handset; do
    [ -L "$prefix/bin/$p" ] || fail "bin/$p is not a link"
    [ "$(readlink -f "$prefix/bin/$p")" = "$(readlink -f "$prefix/libexec/quorvel/$p")" ] ||
        fail "bin/$p does not lead to the program folder"
    [ -x "$prefix/bin/$p" ] || fail "bin/$p cannot be run"
done
bash "$(dirname "$0")/check-udev-rule.sh" "$prefix/lib/udev/rules.d/60-quorvel.rules" ||
    fail "the udev rule is malformed"
# Relative links: the tree works wherever it is moved, as it is in a package.
case $(readlink "$prefix/bin/quorvel-cli") in /*) fail "bin/quorvel-cli is an absolute link" ;; esac

desktop-file-validate "$prefix/share/applications/$app_id.desktop" || fail "desktop-file-validate"
grep -qx "Icon=$app_id" "$prefix/share/applications/$app_id.desktop" || fail "the desktop entry names another icon"
appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml" >/dev/null ||
    fail "appstreamcli validate: $(appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml")"
head -c 5 "$prefix/libexec/quorvel/QuorvelUserGuide.pdf" | grep -q '%PDF-' || fail "the guide is no PDF"

# The installed tool, from elsewhere, through its link, with a per-user folder of its own.
home=$(mktemp -d)
trap 'rm -rf "$prefix" "$home"' EXIT
cd "$home" || exit 1
out=$(QUORVEL_CONFIG_DIR=$home/config "$prefix/bin/quorvel-cli" --help) || fail "quorvel-cli --help from the prefix"
grep -q '^commands:' <<<"$out" || fail "quorvel-cli --help printed no commands"
out=$(QUORVEL_CONFIG_DIR=$home/config "$prefix/bin/quorvel-cli" sim-list --software 62018400 --pcs 06B 2>&1) ||
    fail "the installed tool does not find sim_list/VSIMLIST.xml of its program folder: $out"
"$prefix/bin/quorvel-handset" --help >/dev/null || fail "quorvel-handset --help from the prefix"

# The installed programs write nothing into their folder, not even for root; nor does a person who may
# not write it.
QUORVEL_PORTS="COM7=/dev/null" QUORVEL_CONFIG_DIR=$home/root-config "$prefix/bin/quorvel-cli" --port COM7 set-port \
    >/dev/null 2>&1 || fail "set-port from the prefix"
grep -qs "Device No=7" "$home/root-config/quorvel.ini" || fail "the program ini is not in the per-user folder"
[ ! -e "$prefix/libexec/quorvel/quorvel.ini" ] || fail "the program ini was written into the program folder"
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
    chmod 755 "$prefix" "$prefix/libexec" "$prefix/libexec/quorvel"
    chmod 777 "$home"
    QUORVEL_PORTS="COM7=/dev/null" QUORVEL_CONFIG_DIR=$home/config \
        setpriv --reuid=65534 --regid=65534 --clear-groups "$prefix/bin/quorvel-cli" --port COM7 set-port \
        >/dev/null 2>&1 || fail "set-port as a person without write access to the program folder"
    grep -qs "Device No=7" "$home/config/quorvel.ini" || fail "the program ini is not in the per-user folder"
    [ ! -e "$prefix/libexec/quorvel/quorvel.ini" ] || fail "the program ini was written into the program folder"
fi

# The package's maintainer scripts, against a root of the test's own ($DPKG_ROOT). The machine's group
# database is no test's to change: getent, addgroup, delgroup, chgrp and chown are stand-ins that note
# their calls and keep one group in a file; chmod is real.
debian=$(cd "$(dirname "$0")/../../dist/debian" && pwd)
root=$(mktemp -d)
stubs=$(mktemp -d)
trap 'rm -rf "$prefix" "$home" "$root" "$stubs"' EXIT
for tool in getent addgroup delgroup chgrp chown; do
    cat >"$stubs/$tool" <<STUB
#!/bin/sh
echo "$tool \$*" >>"$root/calls"
case $tool in
getent) [ -e "$root/group" ] ;;
addgroup) touch "$root/group" ;;
delgroup) rm -f "$root/group" ;;
esac
STUB
    chmod +x "$stubs/$tool"
done
: >"$root/calls"
state=$root/var/lib/quorvel
mkdir -p "$state"
echo "Quorvel record store 1" >"$state/registry.txt"
chmod 644 "$state/registry.txt"
# Links a member of the group could have put there: the files they lead to must stay as they are.
echo "root's secret" >"$root/shadow"
chmod 600 "$root/shadow"
ln "$root/shadow" "$state/records.db"
ln -s "$root/shadow" "$state/changes.jsonl"
scripts() { DPKG_ROOT=$root PATH=$stubs:$PATH sh "$debian/$1" "$2" || fail "$1 $2 failed"; }
scripts postinst configure
scripts postinst configure
[ "$(stat -c %a "$state")" = 2770 ] || fail "the records' folder has the mode $(stat -c %a "$state"), not 2770"
[ "$(stat -c %a "$state/registry.txt")" = 660 ] ||
    fail "a file in the records' folder has the mode $(stat -c %a "$state/registry.txt"), not 660"
[ "$(grep -c '^addgroup --system quorvel-sim$' "$root/calls")" = 1 ] || fail "quorvel-sim is not made once"
grep -qx "chown root:quorvel-sim $state" "$root/calls" || fail "the records' folder is not root:quorvel-sim"
grep -qx "chgrp quorvel-sim $state/registry.txt" "$root/calls" || fail "what is in the folder is not the group's"
grep -q "chgrp quorvel-sim $state/records.db\|chgrp quorvel-sim $state/changes.jsonl" "$root/calls" &&
    fail "the postinst gives the group a file through a link"
[ "$(stat -c %a "$root/shadow")" = 600 ] || fail "the postinst changed the mode of a file through a link"
grep -q "chgrp -R" "$root/calls" && fail "the postinst changes the group of the folder's files recursively"
grep -q "dialout $state\( \|/\|$\)" "$root/calls" && fail "the group dialout still has a part in the records"
# The change log's folder is the operators' (dialout), apart from the records; a log that was a link in
# the records' folder stays where it is.
changes=$root/var/lib/quorvel-changes
[ "$(stat -c %a "$changes")" = 2770 ] || fail "the change log's folder has the mode $(stat -c %a "$changes"), not 2770"
grep -qx "chown root:dialout $changes" "$root/calls" || fail "the change log's folder is not root:dialout"
[ -L "$state/changes.jsonl" ] && [ ! -e "$changes/changes.jsonl" ] || fail "the postinst moved a link as the change log"
scripts postrm remove
[ -e "$state/registry.txt" ] || fail "a remove took the records"
scripts postrm purge
[ ! -e "$state" ] || fail "a purge left the records' folder"
[ ! -e "$changes" ] || fail "a purge left the change log's folder"
grep -qx "delgroup --system quorvel-sim" "$root/calls" || fail "a purge left the group quorvel-sim"

# Uninstalling by the manifest leaves nothing: the links in bin/ included, and no folder of the program's.
# The uninstall target's script, run as the target runs it, without a build tool in a build folder that
# other tests use.
cmake -DMANIFEST="$build/install_manifest.txt" -P "$(dirname "$0")/../../cmake/Uninstall.cmake" >/dev/null ||
    fail "the uninstall failed"
left=$(cd "$prefix" && find . ! -type d)
[ -z "$left" ] || fail "the uninstall left files: $left"
left=$(cd "$prefix" && find . -type d -name quorvel)
[ -z "$left" ] || fail "the uninstall left the program's folders: $left"

[ "$failures" -eq 0 ] && echo "install tree complete"
exit $((failures > 0))
