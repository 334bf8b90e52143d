#!/bin/sh
# The installed shape of glyph8-cli: a real process, real exit codes, stdout
# and stderr kept apart, real file descriptors that fail.
#   process_test.sh CLI BUILD_DIR [EMULATOR...]
# A cross build passes the emulator that runs CLI; the checks that need a
# POSIX system underneath (closed descriptors, /dev/full, FIFOs, installing)
# then stay out.
set -u
exe=$1
build=$2
shift 2
emulator="$*"
cli() { $emulator "$exe" "$@"; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0
# check name expected-code expected-stdout expected-stderr-part command...
# (an empty expected-stderr-part wants nothing on stderr)
check() {
    name=$1 want_code=$2 want_out=$3 want_err=$4
    shift 4
    out=$("$@" 2>"$tmp/err")
    code=$?
    if [ -z "$want_err" ]; then
        err_ok=$([ ! -s "$tmp/err" ] && echo yes)
    else
        err_ok=$(grep -qF -- "$want_err" "$tmp/err" && echo yes)
    fi
    if [ "$code" != "$want_code" ] || [ "$out" != "$want_out" ] || [ -z "$err_ok" ]; then
        echo "FAIL $name: exit $code, stdout '$out'" >&2
        cat "$tmp/err" >&2
        fail=1
    else
        echo "ok   $name"
    fi
}
six='byte d[]={ 60, 74, 74, 48, 0, 0, 0, 0};'
guo='byte d[]={ 127, 109, 109, 69, 95, 101, 127, 0};'
check argument 0 "$six" "" cli 6
check stdin 0 "$six" "" sh -c "printf '6\n' | $emulator '$exe'"
check unknown_option 2 "" "unknown option" cli --nope
# (Through standard input: a Windows command line is UTF-16 and cannot carry
# a stray byte.)
check invalid_utf8 2 "" "byte 1" sh -c "printf 'a\\377' | $emulator '$exe'"
check version 0 "$(cli --version)" "" cli --version
# Binary standard input: a Ctrl+Z is a control character like any other.
check stdin_ctrl_z 0 "$six" "" sh -c "printf '\\0326' | $emulator '$exe'"
check chinese_argument 0 "$guo" "" cli "國"
cp "$(dirname "$0")/../data/fonts/box8.bdf" "$tmp/方塊.bdf"
check chinese_file_name 0 'byte d[]={ 255, 129, 129, 129, 129, 129, 129, 255};' "" \
    cli --font "$tmp/方塊.bdf" A
check font_folder 2 "" "Is a directory" cli --font "$tmp" 6
if [ "$(cli 6 | od -An -c | tr -d ' ')" != "$(printf '%s\n' "$six" | od -An -c | tr -d ' ')" ]; then
    echo "FAIL line_end: not exactly one LF" >&2
    fail=1
fi
# A reader that goes away: the output cannot be written, and says why.
{ printf '%b' "$(printf '\\%03o' $(seq 33 126))"; cat "$(dirname "$0")/../data/big5_level1.txt"; } >"$tmp/big"
if [ -n "$emulator" ]; then
    ( $emulator "$exe" --each <"$tmp/big" 2>"$tmp/pipe_err"; echo $? >"$tmp/pipe_rc" ) | head -c 1 >/dev/null
    if [ "$(cat "$tmp/pipe_rc")" != 3 ] || ! grep -q "cannot write the output: Broken pipe" "$tmp/pipe_err"; then
        echo "FAIL closed_pipe: exit $(cat "$tmp/pipe_rc")" >&2
        cat "$tmp/pipe_err" >&2
        fail=1
    else
        echo "ok   closed_pipe"
    fi
fi
[ -n "$emulator" ] && exit $fail

cli=$exe
check stdin_directory 2 "" "cannot read standard input: Is a directory" sh -c "'$cli' < /"
check stdin_closed 2 "" "cannot read standard input: Bad file descriptor" sh -c "'$cli' <&-"
check help_to_full_disk 3 "" "cannot write the output: No space left on device" \
    sh -c "'$cli' --help > /dev/full"
check glyph_to_full_disk 3 "" "No space left on device" sh -c "'$cli' 6 > /dev/full"
check version_to_closed_stdout 3 "" "Bad file descriptor" sh -c "'$cli' --version >&-"
mkfifo "$tmp/fifo"
check font_fifo 2 "" "fifo: not a regular file" timeout 20 "$cli" --font "$tmp/fifo" 6
check font_device 2 "" "null: not a regular file" "$cli" --font /dev/null 6

# Installed anywhere, --version names the directory its licence texts are in.
cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
dir=$("$tmp/prefix/bin/glyph8-cli" --version | sed -n 's/^The fonts. licence texts are in //p')
if [ -z "$dir" ] || [ ! -f "$dir/fonts-misaki.txt" ] || [ ! -f "$dir/fonts-arphic-uming.txt" ]; then
    echo "FAIL installed_licences: '$dir'" >&2
    fail=1
else
    echo "ok   installed_licences"
fi
# The man page describes the installed copy: where its licence texts went.
man=$tmp/prefix/share/man/man1/glyph8-cli.1.gz
if ! command -v help2man >/dev/null; then
    echo "skip installed_man_page: no help2man"
elif zcat "$man" | sed 's/\\f[BIRP]//g; s/\\[,/]//g; s/\\-/-/g' | grep -qF "licence texts are in $dir"; then
    echo "ok   installed_man_page"
else
    echo "FAIL installed_man_page: $(zcat "$man" 2>&1 | grep -i 'licence texts')" >&2
    fail=1
fi
exit $fail
