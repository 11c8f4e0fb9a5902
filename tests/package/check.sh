#!/bin/sh
# Makes the Debian package of a build tree and checks it as a desktop would use it: the files it installs,
# the library dependencies computed for it, the desktop entry, the AppStream metadata, the manual pages and
# the completion of key paths.
#   tests/package/check.sh BUILD_DIR DOCUMENT.plist
set -eu
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/vantrel_*.deb)
dpkg-deb --contents "$deb" | awk '{ print $NF }' >"$work/contents"
for f in bin/vantrel bin/vantrel-cli share/applications/vantrel.desktop share/mime/packages/vantrel.xml \
    share/icons/hicolor/scalable/apps/vantrel.svg share/icons/hicolor/48x48/apps/vantrel.png \
    share/icons/hicolor/256x256/apps/vantrel.png share/metainfo/io.github.vantrel.Vantrel.metainfo.xml \
    share/man/man1/vantrel.1 share/man/man1/vantrel-cli.1 share/bash-completion/completions/vantrel-cli \
    share/bash-completion/completions/vantrel share/doc/vantrel/copyright; do
    grep -qx "\./usr/$f" "$work/contents" || fail "no /usr/$f"
done
dpkg-deb --field "$deb" Depends | grep -q 'libqt6widgets6 (>=' || fail "no library dependencies"

root=$work/root
dpkg-deb --extract "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/vantrel.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.vantrel.Vantrel.metainfo.xml" >/dev/null
for page in vantrel vantrel-cli; do
    warnings=$(man --warnings -E UTF-8 -l "$root/usr/share/man/man1/$page.1" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page.1: $warnings"
done

# Completing "Colors" in `vantrel-cli get Colors FILE` gives the key paths below it, quoted for the shell.
paths=$(PATH="$root/usr/bin:$PATH" bash -c '. "$0/vantrel-cli"; compopt() { :; }
    COMP_WORDS=(vantrel-cli get Colors "$1"); COMP_CWORD=2; _vantrel_cli; printf "%s\n" "${COMPREPLY[@]}"' \
    "$root/usr/share/bash-completion/completions" "$2")
[ "$(echo "$paths" | head -2)" = 'Colors\ \&\ Fonts
Colors\ \&\ Fonts.Accent' ] || fail "key paths completed: $paths"
echo "package: $(basename "$deb") checked"
