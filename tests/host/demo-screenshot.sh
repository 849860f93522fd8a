#!/usr/bin/env bash
# The demo's screenshot test: runs kvdemo.exe in screenshot mode on an Xvfb
# display of its own (so that no other test's window overlaps the capture),
# then checks the PNG with host_tests' DemoScreenshot test.
# Usage: demo-screenshot.sh <kvdemo.exe> <host_tests.exe> <png path>
set -euo pipefail
demo=$1
tests=$2
png=$3

rm -f "$png"
windows_png=$(winepath -w "$png")
KVDEMO_SCREENSHOT="$windows_png" xvfb-run -a wine "$demo"
KVDEMO_CHECK_PNG="$windows_png" wine "$tests" --gtest_filter='DemoScreenshot.*' --gtest_color=no
