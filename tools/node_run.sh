#!/bin/sh
# Runs a program of the WebAssembly build under Debian's node: Debian's
# shared modules on the path (a node not from Debian would not find them).
# A .js beside its .wasm loads the .wasm by fetch() in a node that has one,
# which takes no file paths.
NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH} exec node --no-experimental-fetch "$@"
