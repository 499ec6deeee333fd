#!/usr/bin/env bash
# Makes the Debian package of a built tree and checks it: the files it installs, the
# dependencies it declares, that dpkg would install it on this machine, and that the
# binaries find every library they need once it is unpacked into a scratch root.
#   scripts/check-package.sh [BUILD_DIR]      (default: build)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "check-package: $*" >&2
  exit 1
}

if ! cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  fail "cpack failed"
fi
debs=("$scratch"/out/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "cpack made no single .deb"
deb=${debs[0]}

# The files a user needs: the program, the emulator and the first setup, the help, the desktop
# entry and its icon, the systemd unit, the manual pages, the README, the licence and the changelog.
contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for f in ./usr/bin/tvr ./usr/bin/aseemu ./usr/bin/tvr_first_setup \
  ./usr/share/applications/travenor.desktop \
  ./usr/lib/systemd/user/travenor@.service \
  ./usr/share/icons/hicolor/scalable/apps/travenor.svg \
  ./usr/share/travenor/tvr.html \
  ./usr/share/man/man1/tvr.1.gz \
  ./usr/share/doc/travenor/README.md \
  ./usr/share/doc/travenor/copyright \
  ./usr/share/doc/travenor/changelog.gz; do
  grep -qxF "$f" <<<"$contents" || fail "the package lacks $f"
done

# The Debian packages it pulls in: the package of every shared library its binaries load, and
# the Qt platform plugins, which are loaded at run time and named by no linker record.
root="$scratch/root"
dpkg-deb --extract "$deb" "$root"
# The packaged systemd unit passes systemd-analyze verify, where the machine has it.
if command -v systemd-analyze >/dev/null; then
  "$(dirname "$0")/check-unit.sh" "$root/usr/lib/systemd/user/travenor@.service" "$root/usr/bin/tvr" ||
    fail "the packaged systemd unit does not verify"
fi
depends=$(dpkg-deb --field "$deb" Depends)
packages=$(sed 's/([^)]*)//g; s/[ ,]\+/\n/g' <<<"$depends")
declares() { grep -qxF "$1" <<<"$packages"; }
# The package that installed a library file, looked for as ldd names it and as it resolves;
# empty when no package holds it (the failed look-up must not end the script before it says so).
owner_of() {
  local found
  found=$({ dpkg-query --search "$1" || dpkg-query --search "$(realpath "$1")"; } 2>/dev/null) ||
    true
  sed -n '1s/:.*//p' <<<"$found"
}
# The files of the libraries a binary names itself (their own dependencies are their packages'
# business); an empty line for one that cannot be found. They are resolved as on a machine that
# installed the package: without this shell's LD_LIBRARY_PATH, which may point the tests at
# another build of a library.
needed_paths() {
  local resolved
  resolved=$(env -u LD_LIBRARY_PATH ldd "$1")
  readelf --dynamic "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | while read -r name; do
    awk -v n="$name" '$1 == n { print ($3 == "not" ? "" : $3) }' <<<"$resolved"
  done
}
declares qt6-qpa-plugins || fail "Depends lacks qt6-qpa-plugins: $depends"
for bin in "$root"/usr/bin/*; do
  while read -r lib; do
    [[ -n $lib ]] ||
      fail "$(basename "$bin") misses a library: $(env -u LD_LIBRARY_PATH ldd "$bin" | grep 'not found')"
    owner=$(owner_of "$lib")
    [[ -n $owner ]] || fail "no package holds $lib, which $(basename "$bin") loads"
    [[ $owner == libc6 ]] || declares "$owner" ||
      fail "$(basename "$bin") loads $lib of $owner, which Depends lacks: $depends"
  done < <(needed_paths "$bin")
done

# dpkg itself agrees that it could install the package here, dependencies included (dpkg
# wants its lock for that even when it only pretends, so only root can ask).
if [[ $(id -u) -eq 0 ]]; then
  dpkg --dry-run --install "$deb" >"$scratch/dpkg.log" 2>&1 || {
    cat "$scratch/dpkg.log" >&2
    fail "dpkg --dry-run --install refused the package"
  }
else
  echo "check-package: not root, dpkg --dry-run --install left out"
fi

# The desktop entry starts a program of the package and names an icon of the package.
entry="$root/usr/share/applications/travenor.desktop"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
icon_name=$(sed -n 's/^Icon=//p' "$entry")
[[ -x "$root/usr/bin/$exec_name" ]] || fail "the desktop entry starts '$exec_name', not in the package"
[[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon_name.svg" ]] ||
  fail "the desktop entry's icon '$icon_name' is not in the package"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$entry" || fail "the desktop entry does not validate"
fi

# One version: the package's, the changelog's newest entry and the program's own --version.
version=$(dpkg-deb --field "$deb" Version)
changelog_version=$(gzip -dc "$root/usr/share/doc/travenor/changelog.gz" | sed -n '1s/^[^(]*(\([^)]*\)).*/\1/p')
[[ $changelog_version == "$version" ]] ||
  fail "the changelog's newest entry is $changelog_version, the package $version"
program_version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/tvr" --version | head -1)
[[ $program_version == "tvr (Travenor) $version" ]] ||
  fail "tvr --version says '$program_version', the package is $version"

# Debian's own checks. An error fails the check; so does a warning, unless it is named here with
# the reason it stands. Nothing stands now. The informational tags are let pass: the hardening
# ones (bindnow, fortify) follow the compiler flags of the build type, which are the user's.
explained_warnings=()
command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps.sh installs it)"
lintian --no-tag-display-limit "$deb" >"$scratch/lintian.log" 2>&1 || true
while read -r level _ tag rest; do
  case $level in
  E:) fail "lintian: $tag $rest" ;;
  W:)
    [[ " ${explained_warnings[*]} " == *" $tag "* ]] || fail "lintian warns: $tag $rest"
    ;;
  esac
done <"$scratch/lintian.log"

echo "$(basename "$deb"): $(grep -c . <<<"$contents") entries; Depends: $depends"
