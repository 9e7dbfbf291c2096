#!/bin/sh
# Runs a Windows executable under 64-bit Wine; CTest uses it as the cross-compiling emulator.
# The prefix and display come from the environment that tools/test.sh prepares.
exec /usr/lib/wine/wine64 "$@"
