#!/usr/bin/env bash
# Builds the Debian package and checks it as a distribution would: the
# desktop entry, metainfo and manual pages validate, the MIME types tell the
# two document formats apart, the package holds every file and depends on
# libsodium, lintian finds no error, and (as root) it installs, runs,
# registers the document types and removes cleanly.
#   scripts/check-package.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=deps.sh
. "$root/scripts/deps.sh"
veskel_install_deps desktop-file-utils appstream groff man-db bash-completion \
    xdg-utils libfile-mimeinfo-perl shared-mime-info libxml2-utils

fail() {
    echo "check-package: $*" >&2
    exit 1
}
step() { echo "== $*"; }

deb=$("$root/scripts/package.sh" | tail -n 1)
[ -f "$deb" ] || fail "no package was made"
pkg="$root/packaging"
id=org.veskel.Veskel

step "desktop-file-validate"
desktop-file-validate "$pkg/$id.desktop"
step "appstreamcli validate --no-net"
appstreamcli validate --no-net "$pkg/$id.metainfo.xml"
step "manual pages render with no warning"
for page in "$pkg"/man/*.1; do
    warnings=$(groff -man -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
step "bash completion"
bash "$pkg/completion/check.sh" >/dev/null

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The desktop-neutral lookups, whatever desktop the caller runs in.
xdg() { env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION xdg-mime "$@"; }
# A file of each format's shape named *.vsk, made here, so the checks hold
# whichever format the program writes: an older document is 2,500 lines
# of 80 armour symbols ended by CR LF; of a strong document, only the header
# and the end line, all a lookup reads.
line=ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+-ABCDEFGHIJKLMNOP
for _ in $(seq 2500); do printf '%s\r\n' "$line"; done >"$tmp/older.vsk"
printf '%s\n' "VESKEL-STRONG-DOCUMENT 1" "argon2id memory-kib=131072 passes=3 lanes=1" \
    "salt $(printf '%032d' 0)" "nonce $(printf '%048d' 0)" "END VESKEL-STRONG-DOCUMENT" \
    >"$tmp/strong.vsk"
# expect_type FILE TYPE: the type the MIME database in effect gives the file.
expect_type() {
    local type
    type=$(xdg query filetype "$1")
    [ "$type" = "$2" ] || fail "xdg-mime gives $type for $(basename "$1"), not $2"
    echo "$(basename "$1"): $type"
}

step "the MIME types tell the formats apart (a database of their own)"
xmllint --noout "$pkg/$id.xml"
mkdir -p "$tmp/data/mime/packages"
cp /usr/share/mime/packages/freedesktop.org.xml "$pkg/$id.xml" "$tmp/data/mime/packages/"
(
    export XDG_DATA_HOME="$tmp/data" XDG_DATA_DIRS="$tmp/data"
    update-mime-database "$tmp/data/mime"
    expect_type "$tmp/older.vsk" application/x-veskel-document
    expect_type "$tmp/strong.vsk" application/x-veskel-strong-document
)

step "the package depends on libsodium"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
grep -Eq '(^|, )libsodium[0-9]+(t64)? ' <<<"$depends" || fail "the package does not depend on libsodium"

step "dpkg-deb -c lists every file"
listing=$(dpkg-deb -c "$deb")
expected=(
    usr/bin/veskel usr/bin/veskel-cli
    "usr/share/applications/$id.desktop" "usr/share/mime/packages/$id.xml"
    "usr/share/metainfo/$id.metainfo.xml" "usr/share/icons/hicolor/scalable/apps/$id.svg"
    usr/share/man/man1/veskel.1.gz usr/share/man/man1/veskel-cli.1.gz
    usr/share/bash-completion/completions/veskel-cli
    usr/share/doc/veskel/copyright usr/share/doc/veskel/changelog.gz
)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
done
for file in "${expected[@]}"; do
    grep -q " \./$file\$" <<<"$listing" || fail "the package lacks /$file"
done

if [ "$(id -u)" -ne 0 ]; then
    echo "Not root: the package was not installed. Install it with:"
    echo "  sudo apt-get install $deb"
    exit 0
fi
if dpkg-query -W -f='${Status}' veskel 2>/dev/null | grep -q 'install ok installed'; then
    fail "veskel is installed already; remove it first (apt-get remove veskel)"
fi

step "apt-get install ./$(basename "$deb")"
cleanup() {
    apt-get remove -y -qq veskel >/dev/null 2>&1 || true
    rm -rf "$tmp"
}
trap cleanup EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
[ "$(command -v veskel-cli)" = /usr/bin/veskel-cli ] || fail "veskel-cli is not /usr/bin/veskel-cli"
/usr/bin/veskel-cli --version
printf 'A note to check the installed program.\n' >"$tmp/note.txt"
/usr/bin/veskel-cli encrypt "$tmp/note.txt" -o "$tmp/note.vsk" --password-fd 3 3<<<"check"
/usr/bin/veskel-cli check "$tmp/note.vsk"
[ "$(/usr/bin/veskel-cli decrypt "$tmp/note.vsk" --password-fd 3 3<<<"check")" = \
    "A note to check the installed program." ] || fail "the installed veskel-cli does not round-trip"

step "the document types and their application"
expect_type "$tmp/older.vsk" application/x-veskel-document
expect_type "$tmp/strong.vsk" application/x-veskel-strong-document
for type in application/x-veskel-document application/x-veskel-strong-document; do
    default=$(xdg query default "$type")
    [ "$default" = "$id.desktop" ] || fail "the default application for $type is '$default'"
    echo "$type -> $default"
done

step "man veskel-cli"
[ "$(man -w veskel-cli)" = /usr/share/man/man1/veskel-cli.1.gz ] || fail "man does not find veskel-cli(1)"
MANWIDTH=80 man veskel-cli 2>&1 | grep -q -- "--password-fd" || fail "man veskel-cli does not render"

step "apt-get remove veskel"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq veskel >/dev/null
[ ! -e /usr/bin/veskel-cli ] || fail "/usr/bin/veskel-cli is left after removal"
for file in older.vsk strong.vsk; do
    type=$(xdg query filetype "$tmp/$file")
    [[ $type != application/x-veskel-* ]] || fail "$type is left after removal"
done
echo "check-package: all checks passed"
