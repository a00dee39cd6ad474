#pragma once

// Small real MPEG audio files, made by the encoders at test time in a
// temporary directory that lives as long as the test process.

#include <string>

namespace xaudio_test {

enum class Kind {
  kMpeg1Layer3,  // lame, 44.1 kHz stereo, 128 kbit/s
  kMpeg2Layer3,  // lame, 22.05 kHz stereo, 64 kbit/s
  kMpeg1Layer2,  // twolame, 48 kHz stereo, 192 kbit/s
  kMonoLayer3,   // lame, 32 kHz mono, 64 kbit/s
};

std::string TempDir();
// A tone of `seconds` (a 440 Hz sine at half scale); cached per process.
std::string ToneFile(Kind kind, int seconds);
// Writes `bytes` to a file in the temporary directory and returns its path.
std::string WriteFile(const std::string& name, const std::string& bytes);
std::string ReadFile(const std::string& path);

// The file's frames counted by walking its headers from the first one, the
// way the window counts them: the frame count a job gets as its range.
int CountFrames(const std::string& path);

bool HaveTool(const char* tool);

}  // namespace xaudio_test
