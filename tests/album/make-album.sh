#!/usr/bin/env bash
# Makes a 5-track album in DIR: album-cbr.mp3 (128 kbps), album-vbr.mp3
# (lame -V 2) and album.cue. Every track is a tone with 1 s of silence before
# and after it, so the tracks meet in the middle of 2 s silences, at the
# sheet's INDEX 01 times: 0, 5, 11, 16.4 and 23.4 s of 30 s.
set -euo pipefail
dir=$1
cd "$dir"
tones=(3 4 3.4 5 4.6)
freqs=(440 550 660 330 880)
parts=()
for i in 0 1 2 3 4; do
  sox -n -r 44100 -c 2 -b 16 "t$i.wav" synth "${tones[$i]}" sine "${freqs[$i]}" vol 0.5 pad 1 1
  parts+=("t$i.wav")
done
sox "${parts[@]}" album.wav
lame --quiet -b 128 album.wav album-cbr.mp3
lame --quiet -V 2 album.wav album-vbr.mp3
rm -f t?.wav album.wav
cat >album.cue <<'CUE'
REM GENRE "Test Tones"
REM DATE 2024
PERFORMER "The Sines"
TITLE "Five Tones"
FILE "album.wav" WAVE
  TRACK 01 AUDIO
    TITLE "A Four Forty"
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    TITLE "Über/Zwei"
    PERFORMER "Guest Sine"
    INDEX 01 00:05:00
  TRACK 03 AUDIO
    TITLE "Drei: \"Quoted\""
    INDEX 01 00:11:00
  TRACK 04 AUDIO
    TITLE "Four"
    INDEX 00 00:16:00
    INDEX 01 00:16:30
  TRACK 05 AUDIO
    INDEX 01 00:23:30
CUE
