#!/usr/bin/env bash
# Checks the clips camfetch.exe downloaded with "Convert AVI" in the program tests' full session:
#   check_session_clips.sh SOURCES FOLDER [OTHER_FOLDER]
# FOLDER holds the session's one dated folder with CLIP0001.AVI to CLIP0003.AVI, the converted
# copies of three clips of SOURCES (make_clips.sh); each must read as its source does, as
# I420 with the source's sound (probe_converted.sh). With OTHER_FOLDER, the same session run by
# another build's camfetch.exe, every downloaded file must be byte for byte the same there.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
sources=$1 folder=$2 other=${3:-}
dated() {
  local found=("$1"/*/)
  [ "${#found[@]}" = 1 ] && [ -d "${found[0]}" ] || { echo "not one dated folder in $1" >&2; exit 1; }
  (cd "${found[0]}" && pwd)
}
session=$(dated "$folder")
names=(mjpg422_320_u8mono mjpg420_640_s16stereo mjpg422_640_silent)
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
for i in 0 1 2; do
  ln -s "$session/CLIP000$((i + 1)).AVI" "$probe/${names[$i]}.avi"
done
"$here/../../camfetch/media/tests/probe_converted.sh" "$sources" "$probe" "${names[@]}"
if [ -n "$other" ]; then
  reference=$(dated "$other")
  [ "$(cd "$session" && ls)" = "$(cd "$reference" && ls)" ] || {
    echo "different files: $(cd "$session" && ls | tr '\n' ' ') vs $(cd "$reference" && ls | tr '\n' ' ')"; exit 1; }
  for f in "$session"/*; do
    cmp "$f" "$reference/$(basename "$f")" || exit 1
    echo "$(basename "$f"): identical ($(stat -c %s "$f") bytes)"
  done
fi
