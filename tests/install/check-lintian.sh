#!/usr/bin/env bash
# Makes the Debian package of a build and runs lintian on it: any error (E:) or warning (W:) fails.
# The build's tree is installed stripped into a staging root and cpack packs that root with the
# package's control data (CPackConfig.cmake), so nothing is compiled here. Exit 77 (skipped) without
# lintian.
set -uo pipefail
build=$1
command -v lintian >/dev/null || { echo "lintian is not installed: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

DESTDIR=$work/root cmake --install "$build" --prefix /usr --strip >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; echo "FAIL: cmake --install" >&2; exit 1; }
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" -D CPACK_INSTALL_CMAKE_PROJECTS= \
    -D "CPACK_INSTALLED_DIRECTORIES=$work/root;." >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; echo "FAIL: cpack" >&2; exit 1; }
deb=$(find "$work/out" -maxdepth 1 -name "*.deb" | head -n 1)
[ -n "$deb" ] || { echo "FAIL: cpack made no package" >&2; exit 1; }

# The C and C++ libraries with the least versions the programs need, as dpkg-shlibdeps found them.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6; do
    [[ ", $depends" == *", $library (>= "[0-9]* ]] ||
        { echo "FAIL: the package depends on $library without its least version: $depends" >&2; exit 1; }
done

# --no-cfg: the machine's or the person's lintianrc must not change what is checked.
out=$(lintian --no-cfg "$deb" 2>&1 | grep -v 'running with root privileges')
echo "$out"
if grep -q '^[EW]: ' <<<"$out"; then
    echo "FAIL: lintian reports errors or warnings on $(basename "$deb")" >&2
    exit 1
fi
echo "lintian: $(basename "$deb") is clean"
