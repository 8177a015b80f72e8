#!/bin/sh
# The bundle as `cmake --install` lays it out: lv2_validate passes on its two
# .ttl files (given a folder it only complains, so they are named) and lv2ls
# finds the plugin there.
# Usage: check_bundle.sh BUILD_DIR PLUGIN_URI
set -eu
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null
bundle="$prefix/lib/lv2/tarnwick.lv2"
ls "$bundle"
lv2_validate "$bundle/manifest.ttl" "$bundle/tarnwick.ttl"
LV2_PATH="$prefix/lib/lv2" lv2ls | grep -Fx "$2"
