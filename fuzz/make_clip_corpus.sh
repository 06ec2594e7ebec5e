#!/usr/bin/env bash
# Regenerates the clip harness's seed corpus (fuzz/corpus/clip_fuzz/) with
# Debian's ffmpeg: small valid clips of several containers and codecs, and
# the crafted files the tool must refuse cheaply or read soundly (headers
# claiming 16000x16000 frames, frames a million seconds or 10 microseconds
# apart, a gap in the timestamps). Each is a few KB. Not part of the test
# run; the files it writes are committed.
set -euo pipefail
cd "$(dirname "$0")/corpus/clip_fuzz"
make() { ffmpeg -nostdin -v error -y "$@"; }
pattern=testsrc2=size=32x32:rate=10
sound=sine=frequency=440:sample_rate=8000

# Valid clips.
make -f lavfi -i $pattern -f lavfi -i $sound -t 0.3 -c:v libx264 -preset ultrafast -c:a aac -b:a 8k h264_aac.mp4
make -f lavfi -i $pattern -t 0.3 -c:v libvpx-vp9 -deadline realtime vp9.webm
make -f lavfi -i $pattern -frames:v 1 -c:v prores_ks -profile:v 4444 -pix_fmt yuva444p10le prores.mov
make -f lavfi -i $pattern -t 0.3 -c:v mjpeg -q:v 20 mjpeg.avi
make -f lavfi -i $pattern -f lavfi -i $sound -t 0.3 -c:v mpeg2video -c:a mp2 -b:a 32k mpeg2.ts
make -f lavfi -i $pattern -t 0.3 gif.gif
make -f lavfi -i $pattern -t 0.3 -c:v flv flv.flv
make -f lavfi -i $pattern -t 0.3 -c:v libtheora theora.ogv
make -f lavfi -i $pattern -t 0.2 -c:v rawvideo -pix_fmt rgba rgba.nut
make -f lavfi -i $pattern -t 0.3 -c:v libaom-av1 -cpu-used 8 -b:v 20k av1.mkv
printf '1\n00:00:00,000 --> 00:00:00,200\nword\n\n' >words.srt
make -f lavfi -i $pattern -i words.srt -t 0.3 -c:v png -c:s srt png_subtitles.mkv
rm words.srt

# A clip whose timestamps jump: five frames, the last ten seconds on.
make -f lavfi -i testsrc2=size=16x16:rate=25 -frames:v 5 -vf "setpts='if(eq(N,4),250,N)'" -fps_mode passthrough \
  -c:v ffv1 gap.mkv
# Frames a million seconds apart, and 10 microseconds apart.
make -f lavfi -i testsrc2=size=16x16:rate=1/1000000 -frames:v 3 slow.y4m
make -f lavfi -i testsrc2=size=16x16:rate=100000 -frames:v 3 fast.y4m

# Headers claiming 16000x16000 frames: a BMP (width and height at bytes
# 18-25), an FFV1 clip in Matroska (PixelWidth and PixelHeight, two bytes
# each) and MPEG-2 in a program stream (sequence header and extension).
make -f lavfi -i color=c=red:size=4x4 -frames:v 1 -pix_fmt bgr24 -f image2 -c:v bmp huge.bmp
make -f lavfi -i color=c=gray:size=256x256 -frames:v 1 -c:v ffv1 huge_ffv1.mkv
make -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 2 -c:v mpeg2video -f mpeg huge_mpeg2.mpg
python3 - <<'PATCH'
import struct

def patch(name, edit):
    data = bytearray(open(name, 'rb').read())
    edit(data)
    open(name, 'wb').write(data)

def bmp(data):
    data[18:26] = struct.pack('<ii', 16000, 16000)

def mkv(data):
    for element in (b'\xb0\x82\x01\x00', b'\xba\x82\x01\x00'):
        at = data.find(element)
        data[at + 2:at + 4] = b'\x3e\x80'

def mpeg2(data):
    low = 16000 & 0xfff
    at = data.find(b'\x00\x00\x01\xb3')
    data[at + 4:at + 7] = bytes([low >> 4, (low & 0xf) << 4 | low >> 8, low & 0xff])
    at = data.find(b'\x00\x00\x01\xb5')
    bits = int.from_bytes(data[at + 4:at + 8], 'big')
    high = 16000 >> 12  # two bits each, after id, profile and level, progressive, chroma
    bits = bits & ~(0xf << 13) | high << 15 | high << 13
    data[at + 4:at + 8] = bits.to_bytes(4, 'big')

patch('huge.bmp', bmp)
patch('huge_ffv1.mkv', mkv)
patch('huge_mpeg2.mpg', mpeg2)
PATCH
ls -l
