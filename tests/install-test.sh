#!/usr/bin/env bash
# install-test.sh validate|run BUILD_DIR FACEDATA_DIR
# Installs the build into a temporary prefix (`cmake --install`), then
#   validate: desktop-file-validate and `appstreamcli validate --no-net` report no error and no
#             warning on the installed desktop entry and AppStream metadata;
#   run:      the installed program, started from a folder without its data and without
#             VISAGIO_DATA, with the demo owner video standing in for the camera, loads the model
#             and the foreign-face base from its installed data folder and finds a face.
# Installing needs the foreign-face base made from the shared face data: without that data the
# test is skipped (status 77), or fails under CI=true. The prefix is deleted afterwards.
set -euo pipefail
mode=$1
build=$2
facedata=$3
root=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -f "$facedata/INVENTORY.md" ]; then
    echo "shared face data missing at $facedata (set VISAGIO_FACEDATA)"
    [ "${CI:-}" = true ] && exit 1
    exit 77
fi
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

case $mode in
validate)
    desktop=$prefix/share/applications/org.visagio.Visagio.desktop
    report=$(desktop-file-validate "$desktop" 2>&1) || { echo "$report"; exit 1; }
    [ -z "$report" ] || { echo "desktop-file-validate: $report"; exit 1; }
    report=$(appstreamcli validate --no-net "$prefix/share/metainfo/org.visagio.Visagio.metainfo.xml" 2>&1) ||
        { echo "$report"; exit 1; }
    echo "$report"
    ! grep -qE '^[EW]:' <<<"$report"
    ;;
run)
    env -u VISAGIO_DATA "$root/scripts/smoke-run" "$prefix/bin/visagio" "$build/demo/owner-enrol.avi"
    ;;
*)
    echo "usage: install-test.sh validate|run BUILD_DIR FACEDATA_DIR" >&2
    exit 2
    ;;
esac
