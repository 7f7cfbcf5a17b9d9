#!/usr/bin/env bash
# Makes the source clips of the AVIFile tests with ffmpeg: make_clips.sh FOLDER
set -euo pipefail
out=$1
mkdir -p "$out"
v320="-f lavfi -i testsrc2=size=320x240:rate=15:duration=2"
v640="-f lavfi -i testsrc2=size=640x480:rate=25:duration=1.2"
mjpg422="-c:v mjpeg -q:v 3 -huffman default -pix_fmt yuvj422p"
mjpg420="-c:v mjpeg -q:v 3 -huffman default -pix_fmt yuvj420p"
make() {
  local name=$1
  shift
  [ -f "$out/$name.avi" ] && return
  ffmpeg -nostdin -v error -y "$@" "$out/$name.part.avi"
  mv "$out/$name.part.avi" "$out/$name.avi"
}
make mjpg422_320_u8mono $v320 -f lavfi -i sine=frequency=440:sample_rate=8000:duration=2 \
  -c:a pcm_u8 -ac 1 $mjpg422
make mjpg420_640_s16stereo $v640 -f lavfi -i sine=frequency=300:sample_rate=22050:duration=1.2 \
  -c:a pcm_s16le -ac 2 $mjpg420
make mjpg422_640_silent $v640 $mjpg422
make mjpg422_640_300 -f lavfi -i testsrc2=size=640x480:rate=30:duration=10 $mjpg422
make raw_i420 $v320 -c:v rawvideo -pix_fmt yuv420p -vtag I420 -frames:v 5
