#pragma once

// Real decoders as judges of sample-exact cuts: files made at test time by
// lame and ffmpeg, decoded by ffmpeg and mpg123 to 16-bit samples, and
// compared sample by sample.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace gapless_test {

using Pcm = std::vector<std::int16_t>;

inline std::string Shell(const std::string& command, std::string* err = nullptr) {
  const std::string errFile = std::filesystem::temp_directory_path() / ("gapless-err-" + std::to_string(::getpid()));
  std::string out;
  FILE* p = ::popen((command + " 2>'" + errFile + "'").c_str(), "r");
  if (p == nullptr) return out;
  char buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  ::pclose(p);
  if (err != nullptr) {
    std::ifstream e(errFile);
    err->assign((std::istreambuf_iterator<char>(e)), std::istreambuf_iterator<char>());
  }
  std::filesystem::remove(errFile);
  return out;
}

inline Pcm ToPcm(const std::string& bytes) {
  Pcm pcm(bytes.size() / 2);
  std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
  return pcm;
}

// Interleaved 16-bit samples as the decoder plays the file.
inline Pcm Ffmpeg(const std::string& path, std::string* err = nullptr) {
  return ToPcm(Shell("ffmpeg -nostdin -v error -i '" + path + "' -f s16le -", err));
}
// mpg123 as a player runs it. It starts decoding four frames (its
// --preframes) before the frame that holds the first sample it plays: a
// pre-roll of more frames would decode damaged there.
inline Pcm Mpg123(const std::string& path, std::string* err = nullptr) {
  return ToPcm(Shell("mpg123 -q --gapless -s '" + path + "'", err));
}

struct Difference {
  std::int64_t Samples = 0;  // per channel, of the cut
  std::int64_t Expected = 0;
  int Largest = 0;  // largest difference of a sample over the common length
  std::int64_t Differing = 0;
};

// `cut` against the samples [from, to) of `whole` (per channel).
inline Difference Compare(const Pcm& cut, const Pcm& whole, int channels, std::int64_t from, std::int64_t to) {
  Difference d;
  d.Samples = static_cast<std::int64_t>(cut.size()) / channels;
  d.Expected = to - from;
  const std::int64_t n = std::min(d.Samples, d.Expected) * channels;
  for (std::int64_t i = 0; i < n; ++i) {
    const int diff = std::abs(cut[static_cast<std::size_t>(i)] - whole[static_cast<std::size_t>(from * channels + i)]);
    d.Largest = std::max(d.Largest, diff);
    d.Differing += diff != 0;
  }
  return d;
}

struct Fixture {
  const char* Name;
  const char* Make;  // shell command; $W is the source wave, $O the output
  int Rate;          // of the wave
  int Channels;
};

// Sources: noise and a sweep, so that the encoder leans on the reservoir.
inline const Fixture kFixtures[] = {
    {"lame-cbr128", "lame --quiet -b 128 $W $O", 44100, 2},
    {"lame-cbr320", "lame --quiet -b 320 $W $O", 44100, 2},
    {"lame-v2-48k", "lame --quiet -V 2 $W $O", 48000, 2},
    {"lame-abr160-48k", "lame --quiet --abr 160 $W $O", 48000, 2},
    {"lame-cbr96-32k", "lame --quiet -b 96 $W $O", 32000, 2},
    {"lame-mpeg2-22k-mono", "lame --quiet -b 40 -m m $W $O", 22050, 1},
    {"lame-mpeg2-16k-mono", "lame --quiet -b 24 -m m $W $O", 16000, 1},
    {"ffmpeg-cbr128", "ffmpeg -nostdin -v error -i $W -c:a libmp3lame -b:a 128k $O", 44100, 2},
    {"ffmpeg-vbr", "ffmpeg -nostdin -v error -i $W -c:a libmp3lame -q:a 2 $O", 44100, 2},
    {"lame-untagged", "lame --quiet -t -b 128 $W $O", 44100, 2},
    {"lame-32k-mono-32kbps", "lame --quiet -b 32 -m m --resample 32 $W $O", 32000, 1},
};

// Makes the fixture's file in `dir` (from a wave of noise and a sweep) and
// returns its path; empty when the encoder failed.
inline std::string MakeFixture(const std::string& dir, const Fixture& f) {
  const std::string source = dir + "/" + f.Name + ".mp3";
  const std::string wave = dir + "/" + f.Name + ".wav";
  Shell("sox -n -r " + std::to_string(f.Rate) + " -c " + std::to_string(f.Channels) + " -b 16 '" + wave +
        "' synth 4 pinknoise synth 4 sine mix 200-4000 gain -3");
  std::string make = f.Make;
  make.replace(make.find("$W"), 2, "'" + wave + "'");
  make.replace(make.find("$O"), 2, "'" + source + "'");
  Shell(make);
  std::filesystem::remove(wave);
  return std::filesystem::exists(source) ? source : std::string();
}

}  // namespace gapless_test
