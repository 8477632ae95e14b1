#!/usr/bin/env bash
# Checks what a Linux desktop user gets from the built project.
#
#   install_test.sh install BUILD VERSION APP-ID WINDOW
#     installs BUILD into a staging folder with prefix /usr and checks the
#     desktop entry, AppStream file, icons, manual pages, help pages, bash
#     completion and the installed programs' --version (WINDOW is ON when
#     the window is built);
#   install_test.sh package BUILD
#     makes the Debian package of BUILD and has lintian check it.
#
# A check whose checker is missing is skipped on its own, with a line that
# says so; then the test exits 77 (skipped) unless another check failed.
# scripts/setup.sh installs them all. CMAKE and CPACK name the tools to use.
set -euo pipefail

mode=$1
build=$2
cmake=${CMAKE:-cmake}
cpack=${CPACK:-cpack}

failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}
need() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
    done
}
skipped=0
# True when the tool is there; else the check that needs it is skipped.
have() {
    command -v "$1" >/dev/null && return 0
    echo "SKIP: $1 is not installed: $2 not checked"
    skipped=1
    return 1
}
finish() {
    [ "$failed" = 0 ] && [ "$skipped" = 1 ] && exit 77
    exit "$failed"
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

if [ "$mode" = package ]; then
    need lintian dpkg-deb dpkg-shlibdeps
    "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp" >"$tmp/cpack.log" 2>&1 ||
        { cat "$tmp/cpack.log"; exit 1; }
    deb=$(find "$tmp" -maxdepth 1 -name '*.deb')
    [ -n "$deb" ] || { cat "$tmp/cpack.log"; exit 1; }
    echo "Package: $deb"
    dpkg-deb --field "$deb" Package Version Depends
    depends=$(dpkg-deb --field "$deb" Depends)
    # dpkg-shlibdeps found the libraries, and the run-time plugins are named.
    for p in libc6 libstdc++6; do
        [[ $depends == *"$p "* || $depends == *"$p," ]] || fail "Depends lacks $p: $depends"
    done
    if dpkg-deb --contents "$deb" | grep '/usr/bin/trx5-card-manager$' >/dev/null; then
        for p in libqt6widgets6 libqt6multimedia6 qt6-qpa-plugins; do
            [[ $depends == *"$p"* ]] || fail "Depends lacks $p: $depends"
        done
    fi
    # Warnings are shown; errors fail.
    lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"
    exit "$failed"
fi

version=$3
app_id=$4
window=$5
if command -v man >/dev/null; then
    # As lintian checks them: every groff warning is a failure.
    man_check() {
        { LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$1" >/dev/null; } 2>&1
    }
elif have groff "the manual pages"; then
    man_check() { zcat -f "$1" | groff -man -ww -z 2>&1; }
else
    man_check() { :; }
fi

DESTDIR=$tmp "$cmake" --install "$build" --prefix /usr >"$tmp/install.log" ||
    { cat "$tmp/install.log"; exit 1; }
usr=$tmp/usr

# The command-line tool.
out=$("$usr/bin/trx5card" --version)
[ "$out" = "trx5card $version" ] || fail "trx5card --version printed '$out'"

# Its manual page passes groff and documents every command and option that
# the tool's own help lists.
page=$usr/share/man/man1/trx5card.1.gz
pages=("$page")
if [ -f "$page" ]; then
    source=$(zcat "$page")
    [[ $source == *"trx5card $version"* ]] || fail "trx5card(1) is not of version $version"
    commands=$("$usr/bin/trx5card" --help | sed -n '/^Subcommands:/,/^$/{/^  /s/^  \([a-z]*\).*/\1/p}')
    [ -n "$commands" ] || fail "no commands in trx5card --help"
    for command in $commands; do
        grep -q "^\.BI $command " <<<"$source" || fail "trx5card(1) lacks the command $command"
        for option in $("$usr/bin/trx5card" "$command" --help |
            sed -n '/^Options:/,/^$/p' | awk '/^  -/ { print $1 }' | tr , '\n'); do
            # In roff, "-" is written "\-"; "-h" must not match inside "--help".
            grep -qE -- "(^|[^-])${option//-/\\\\-}([^a-z-]|\$)" <<<"$source" ||
                fail "trx5card(1) lacks $option of $command"
        done
    done
    for status in 0 1 2 130; do
        grep -q "^\.B $status\$" <<<"$source" || fail "trx5card(1) lacks exit status $status"
    done
else
    fail "$page is not installed"
fi

# Bash completion, loaded the way bash-completion finds it on demand.
completion=/usr/share/bash-completion/bash_completion
[ -f "$usr/share/bash-completion/completions/trx5card" ] || fail "no bash completion installed"
if [ -f "$completion" ]; then
    card=$tmp/card
    "$usr/bin/trx5card" demo "$card" >/dev/null
    first=$("$usr/bin/trx5card" songs "$card" | head -n 1 | cut -d' ' -f1)
    PATH=$usr/bin:$PATH XDG_DATA_DIRS=$usr/share:/usr/share bash -c '
        source "$1"
        __load_completion trx5card || { echo "not loaded"; exit 1; }
        complete -p trx5card
        complete_words() {
            COMP_WORDS=("$@")
            COMP_CWORD=$(($# - 1))
            COMP_LINE="$*"
            COMP_POINT=${#COMP_LINE}
            COMPREPLY=()
            _trx5card trx5card "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
            echo ${COMPREPLY[@]+"${COMPREPLY[@]}"}
        }
        expect() {
            local want=$1 got
            shift
            got=$(complete_words "$@" | tr " " "\n" | sort | xargs)
            [ "$got" = "$want" ] || { echo "completing \"$*\": got \"$got\", want \"$want\""; exit 1; }
        }
        expect export trx5card ex
        expect "--format" trx5card export "$2" "$3" 1-1 --f
        expect "$(trx5card songs "$2" | cut -d" " -f1 | sort | xargs)" trx5card takes "$2" ""
        takes=$(trx5card takes "$2" "$3" | cut -d" " -f1)
        expect "$(sort <<<"$takes" | xargs)" trx5card export "$2" "$3" ""
        expect "$(grep -v "^1-" <<<"$takes" | sort | xargs)" trx5card play "$2" "$3" 1-1 ""
    ' bash "$completion" "$card" "$first" || fail "bash completion"
else
    echo "SKIP: bash-completion is not installed: completion not checked"
    skipped=1
fi

if [ "$window" = ON ]; then
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
        "$usr/bin/trx5-card-manager" --version) || fail "trx5-card-manager --version failed"
    [ "$out" = "trx5-card-manager $version" ] || fail "trx5-card-manager --version printed '$out'"
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
        "$usr/bin/trx5-card-manager" --help | grep -q FOLDER || fail "trx5-card-manager --help"
    status=0
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
        "$usr/bin/trx5-card-manager" --no-such-option 2>"$tmp/usage" || status=$?
    { [ "$status" = 2 ] && grep -q '^Usage: trx5-card-manager' "$tmp/usage"; } ||
        fail "an unknown option gave status $status and '$(cat "$tmp/usage")'"

    # The window looks for its help in ../share/trx5-card-manager/OnLineHelp
    # from its own folder.
    [ -f "$usr/bin/../share/trx5-card-manager/OnLineHelp/index.html" ] ||
        fail "the help pages are not where the window looks for them"

    desktop=$usr/share/applications/$app_id.desktop
    [ -f "$desktop" ] || fail "no desktop entry"
    if have desktop-file-validate "the desktop entry"; then
        out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate failed"
        if [ -n "$out" ]; then fail "desktop-file-validate: $out"; else echo "desktop-file-validate: ok"; fi
    fi
    grep -qx 'Exec=trx5-card-manager %f' "$desktop" || fail "Exec does not open a folder"

    metainfo=$usr/share/metainfo/$app_id.metainfo.xml
    [ -f "$metainfo" ] || fail "no AppStream metainfo"
    if have appstreamcli "the AppStream metainfo"; then
        appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
        # The metainfo, the desktop entry it launches and the icon fit together.
        appstreamcli validate-tree --no-net "$tmp" >"$tmp/tree.log" ||
            fail "appstreamcli validate-tree: $(cat "$tmp/tree.log")"
    fi
    # The newest release is this version.
    grep -o '<release [^>]*>' "$metainfo" | head -n 1 | grep -q "version=\"$version\"" ||
        fail "the newest release in the metainfo is not $version"

    # The icon the entry names: scalable, and every PNG of its folder's size.
    grep -qx "Icon=$app_id" "$desktop" || fail "the entry's icon is not $app_id"
    icons=$usr/share/icons/hicolor
    grep -q '<svg' "$icons/scalable/apps/$app_id.svg" 2>/dev/null || fail "no scalable icon"
    for size in 16 32 48 64 128 256; do
        png=$icons/${size}x$size/apps/$app_id.png
        dims=$(od -An -tu1 -j16 -N8 "$png" 2>/dev/null | xargs) || true
        [ "$dims" = "0 0 $((size / 256)) $((size % 256)) 0 0 $((size / 256)) $((size % 256))" ] ||
            fail "$png is not a ${size}x$size PNG ($dims)"
    done

    page=$usr/share/man/man1/trx5-card-manager.1.gz
    pages+=("$page")
    { [ -f "$page" ] && zgrep -qF "trx5\-card\-manager $version" "$page"; } ||
        fail "trx5-card-manager(1) is missing or not of version $version"
fi

for page in "${pages[@]}"; do
    if [ -f "$page" ]; then
        out=$(man_check "$page")
        if [ -n "$out" ]; then fail "man ${page##*/}: $out"; else echo "man ${page##*/}: no warnings"; fi
    fi
done
[ -f "$usr/share/doc/trx5-card-manager/copyright" ] || fail "no copyright file"
finish
