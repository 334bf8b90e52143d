#!/bin/sh
# Runs a Windows program under Wine for the tests: headless, quiet, in a
# prefix of its own (the first argument) so that nothing touches ~/.wine.
prefix=$1
shift
mkdir -p "$prefix"
# A wine server left to itself exits three seconds after its last program;
# the next test starting just then loses its connection ("recvmsg:
# Connection reset by peer"). One that waits 30 s outlasts the gaps between
# tests and still goes away after the run. If a server is already up, this
# one leaves at once.
WINEPREFIX=$prefix wineserver -p30 2>/dev/null
WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= \
    exec wine "$@"
