# a camera with files, faults and timing
name "ZQ71R Camera"
register 0x1f00 0x55
firmware-ready-after 3
firmware-not-ready-value 2
flash-done-after 2
not-ready-polls 1
block-size 64
storage present
file IMG0001 JPG path=pic.jpg
file CLIP0001 AVI fill=5000 size=100
file SND0001 WAV hex=0001020304
entry hex=41424344454647484A5047200000000000000000000000000000000000100000
fault fail 41 get nth=2
fault huge-length 34 length=1000000
fault unplug 43
fault status-error 40 set
fault unsupported 34
trace trace.txt
