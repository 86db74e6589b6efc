#!/usr/bin/env bash
# Writes seed files for a fuzz target into a folder: short MP3 and WMA files made with
# ffmpeg (every MPEG version, with and without a Xing tag; WMA versions 1 and 2). Targets
# without generated seeds are left alone. Usage: make-fuzz-seeds.sh TARGET FOLDER
set -euo pipefail
target=$1
dir=$2
mkdir -p "$dir"
encode() {
    ffmpeg -nostdin -v error -y -f lavfi -i "sine=f=440:r=$1:d=0.3" -ac "$2" $3 "$dir/$4"
}
case "$target" in
mp3scan_fuzz | wmin_fuzz | mp3lossless_fuzz)
    encode 44100 2 "-c:a libmp3lame -b:a 64k -metadata title=Seed" cbr.mp3
    encode 44100 1 "-c:a libmp3lame -q:a 6 -write_xing 0" vbr_bare.mp3
    encode 22050 1 "-c:a libmp3lame -b:a 24k" mpeg2.mp3
    encode 8000 1 "-c:a libmp3lame -b:a 8k" mpeg25.mp3
    ;;&
wmin_fuzz)
    encode 22050 1 "-c:a wmav1 -b:a 32k" v1.wma
    encode 44100 2 "-c:a wmav2 -b:a 64k -metadata title=Seed" v2.wma
    ;;
*) ;;
esac
