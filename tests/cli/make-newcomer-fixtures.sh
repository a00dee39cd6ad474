#!/usr/bin/env bash
# Makes, in DIR, the files a newcomer cuts and the README's examples name:
#   song.mp3     150 s, lame -V 2 (VBR), tagged: title, artist, album, a cover
#   vbr.mp3      100 s, lame -V 5 (VBR), untagged
#   podcast.mp3  150 s, lame -V 7 mono at 44.1 kHz (VBR), tagged
#   set.mp3      26 min, 8 kbps mono at 8 kHz (a long DJ set, small)
#   album.mp3    + album.cue, three tracks of tone with silence between
#   mix.mp3      tones with 2 s silences
#   folder/      "a b.mp3" and "ünï çødé.mp3", 20 s each
set -euo pipefail
dir=$1
mkdir -p "$dir/folder"
cd "$dir"
# A tone with a little noise: VBR encoders then vary the bit rate.
tone() { # SECONDS FREQ OUT.wav
  sox -n -r 44100 -c 2 -b 16 "$3" synth "$1" sine "$2" synth "$1" whitenoise amod 0.97 vol 0.4
}
tone 150 440 song.wav
ffmpeg -v error -y -f lavfi -i color=c=orange:s=64x64 -frames:v 1 cover.png
lame --quiet -V 2 --tt "Kerf Song" --ta "Kerf Artist" --tl "Kerf Album" --ty 2026 --ti cover.png song.wav song.mp3
tone 100 550 vbr.wav
lame --quiet -V 5 vbr.wav vbr.mp3
tone 150 330 podcast.wav
lame --quiet -V 7 -m m --resample 44.1 --tt "Kerf Podcast" --ta "Kerf Host" podcast.wav podcast.mp3
ffmpeg -v error -y -f lavfi -i "sine=frequency=220:duration=1560:sample_rate=16000" -ac 1 -c:a libmp3lame \
  -b:a 8k set.mp3
parts=()
for i in 0 1 2; do
  sox -n -r 44100 -c 2 -b 16 "t$i.wav" synth 8 sine $((440 + 110 * i)) vol 0.5 pad 1 1
  parts+=("t$i.wav")
done
sox "${parts[@]}" album.wav
lame --quiet -b 128 album.wav album.mp3
cp album.mp3 mix.mp3
rm -f t?.wav album.wav song.wav vbr.wav podcast.wav cover.png
cat >album.cue <<'CUE'
PERFORMER "The Sines"
TITLE "Three Tones"
FILE "album.wav" WAVE
  TRACK 01 AUDIO
    TITLE "One"
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    TITLE "Two"
    INDEX 01 00:10:00
  TRACK 03 AUDIO
    TITLE "Three"
    INDEX 01 00:20:00
CUE
tone 20 660 f.wav
lame --quiet -V 4 --tt "Folder Song" f.wav "folder/a b.mp3"
cp "folder/a b.mp3" "folder/ünï çødé.mp3"
rm -f f.wav
