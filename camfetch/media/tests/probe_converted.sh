#!/usr/bin/env bash
# Checks converted clips with ffprobe and ffmpeg against their sources:
#   probe_converted.sh SOURCES CONVERTED NAME...
# Each converted clip must hold rawvideo I420 with the source's size, rate and frame count, and
# the source's sound, byte for byte.
set -uo pipefail
sources=$1 converted=$2
shift 2
failed=0
video() {
  ffprobe -v error -count_packets -select_streams "v:$2" \
    -show_entries stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_read_packets -of csv=p=0 "$1"
}
audio() {
  ffprobe -v error -select_streams a -show_entries stream=codec_name,sample_rate,channels -of csv=p=0 "$1"
}
for name in "$@"; do
  src=$sources/$name.avi out=$converted/$name.avi
  want=$(video "$src" 0 | sed 's/^mjpeg,/rawvideo,/; s/,yuvj42[02]p,/,yuv420p,/')
  got=$(video "$out" 0)
  if [ -z "$want" ] || [ "$got" != "$want" ]; then
    echo "$name: video '$got', expected '$want'"; failed=1
  fi
  if [ "$(audio "$src")" != "$(audio "$out")" ]; then
    echo "$name: audio '$(audio "$out")', expected '$(audio "$src")'"; failed=1
  fi
  if [ -n "$(audio "$src")" ]; then
    a=$(ffmpeg -nostdin -v error -i "$src" -map 0:a:0 -c copy -f data - | md5sum)
    b=$(ffmpeg -nostdin -v error -i "$out" -map 0:a:0 -c copy -f data - | md5sum)
    [ "$a" = "$b" ] || { echo "$name: audio bytes differ"; failed=1; }
  fi
  [ $failed = 0 ] && echo "$name: ok"
done
exit $failed
