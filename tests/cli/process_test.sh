#!/bin/sh
# The installed shape of glyph8-cli: a real process, real exit codes, stdout
# and stderr kept apart.
set -u
cli=$1
fail=0
check() { # name expected-code expected-stdout command...
    name=$1 want_code=$2 want_out=$3
    shift 3
    out=$("$@" 2>/tmp/glyph8-cli-err.$$)
    code=$?
    if [ "$code" != "$want_code" ] || [ "$out" != "$want_out" ]; then
        echo "FAIL $name: exit $code, stdout '$out'" >&2
        cat /tmp/glyph8-cli-err.$$ >&2
        fail=1
    else
        echo "ok   $name"
    fi
    rm -f /tmp/glyph8-cli-err.$$
}
six='byte d[]={ 60, 74, 74, 48, 0, 0, 0, 0};'
check argument 0 "$six" "$cli" 6
check stdin 0 "$six" sh -c "printf '6\n' | '$cli'"
check unknown_option 2 "" "$cli" --nope
check invalid_utf8 2 "" "$cli" "$(printf 'a\377')"
check version 0 "$("$cli" --version)" "$cli" --version
exit $fail
