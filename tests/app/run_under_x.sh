#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test program under a virtual X server, where xdotool can move and
# press the real pointer. Skipped (status 77) when either is missing.
if ! command -v xvfb-run >/dev/null 2>&1 || ! command -v xdotool >/dev/null 2>&1; then
  echo "SKIPPED: xvfb-run and xdotool are needed for this test (packages xvfb, xdotool)"
  exit 77
fi
exec xvfb-run -a -s "-screen 0 1600x1000x24" "$@"
