#!/usr/bin/env bash
# Checks the clip a full session downloaded with "Convert AVI": probe_download.sh FOLDER.
# FOLDER holds one dated folder with CLIP0001.avi, which must read as rawvideo I420 with sound.
set -euo pipefail
clips=("$1"/*/CLIP0001.avi)
[ "${#clips[@]}" = 1 ] && [ -f "${clips[0]}" ] || { echo "no downloaded clip in $1"; exit 1; }
video=$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,codec_tag_string,pix_fmt,width,height \
  -of csv=p=0 "${clips[0]}")
audio=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,channels -of csv=p=0 "${clips[0]}")
echo "video: $video; audio: $audio"
[ "$video" = "rawvideo,I420,640,480,yuv420p" ] || { echo "not an I420 clip"; exit 1; }
[ "$audio" = "pcm_s16le,2" ] || { echo "the sound is missing"; exit 1; }
