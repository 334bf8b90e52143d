#!/bin/sh
# Runs a Windows program under Wine for the tests: headless, quiet, in a
# prefix of its own (the first argument) so that nothing touches ~/.wine.
prefix=$1
shift
mkdir -p "$prefix"
WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= \
    exec wine "$@"
