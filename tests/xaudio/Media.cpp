#include "Media.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace xaudio_test {
namespace {

struct Dir {
  std::string path;
  Dir() {
    char pattern[] = "/tmp/xaudio-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    path = made != nullptr ? made : "/tmp";
  }
  ~Dir() {
    std::error_code ignored;
    if (path != "/tmp") std::filesystem::remove_all(path, ignored);
  }
};

int Run(const std::string& command) { return std::system(command.c_str()); }

}  // namespace

std::string TempDir() {
  static Dir dir;
  return dir.path;
}

bool HaveTool(const char* tool) { return Run(std::string("command -v ") + tool + " >/dev/null 2>&1") == 0; }

std::string ToneFile(Kind kind, int seconds) {
  static std::map<std::pair<int, int>, std::string> made;
  const auto key = std::make_pair(static_cast<int>(kind), seconds);
  if (auto it = made.find(key); it != made.end()) return it->second;

  const std::string dir = TempDir();
  const std::string tag = std::to_string(static_cast<int>(kind)) + "-" + std::to_string(seconds);
  const std::string wav = dir + "/tone-" + tag + ".wav";
  std::string out = dir + "/tone-" + tag + (kind == Kind::kMpeg1Layer2 ? ".mp2" : ".mp3");
  const char* rate = kind == Kind::kMpeg2Layer3   ? "22050"
                     : kind == Kind::kMpeg1Layer2 ? "48000"
                     : kind == Kind::kMonoLayer3  ? "32000"
                                                  : "44100";
  const char* channels = kind == Kind::kMonoLayer3 ? "1" : "2";
  std::ostringstream cmd;
  cmd << "sox -n -r " << rate << " -c " << channels << " -b 16 '" << wav << "' synth " << seconds
      << " sine 440 vol 0.5";
  EXPECT_EQ(Run(cmd.str()), 0) << cmd.str();
  std::string encode;
  switch (kind) {
    case Kind::kMpeg1Layer3:
      encode = "lame --quiet -b 128 '" + wav + "' '" + out + "'";
      break;
    case Kind::kMpeg2Layer3:
      encode = "lame --quiet -b 64 '" + wav + "' '" + out + "'";
      break;
    case Kind::kMonoLayer3:
      encode = "lame --quiet -m m -b 64 '" + wav + "' '" + out + "'";
      break;
    case Kind::kMpeg1Layer2:
      encode = "twolame --quiet -b 192 '" + wav + "' '" + out + "'";
      break;
  }
  EXPECT_EQ(Run(encode), 0) << encode;
  made[key] = out;
  return out;
}

std::string WriteFile(const std::string& name, const std::string& bytes) {
  const std::string path = TempDir() + "/" + name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

int CountFrames(const std::string& path) {
  static const int kBitrates[2][3][16] = {
      {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
       {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
       {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
      {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
  static const int kRates[3] = {44100, 48000, 32000};
  const std::string data = ReadFile(path);
  const auto* b = reinterpret_cast<const unsigned char*>(data.data());
  size_t pos = 0;
  int frames = 0;
  while (pos + 4 <= data.size()) {
    if (b[pos] != 0xFF || (b[pos + 1] & 0xE0) != 0xE0) break;
    const int version = (b[pos + 1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const int layer = 4 - ((b[pos + 1] >> 1) & 3);
    const int bitrate_index = b[pos + 2] >> 4;
    const int rate_index = (b[pos + 2] >> 2) & 3;
    const int padding = (b[pos + 2] >> 1) & 1;
    if (version == 1 || layer == 4 || rate_index == 3 || bitrate_index == 0 || bitrate_index == 15) break;
    const bool mpeg1 = version == 3;
    const int kbps = kBitrates[mpeg1 ? 0 : 1][layer - 1][bitrate_index];
    const int rate = kRates[rate_index] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    size_t length = 0;
    if (layer == 1) {
      length = static_cast<size_t>((12000 * kbps / rate + padding) * 4);
    } else if (layer == 3 && !mpeg1) {
      length = static_cast<size_t>(72000 * kbps / rate + padding);
    } else {
      length = static_cast<size_t>(144000 * kbps / rate + padding);
    }
    ++frames;
    pos += length;
  }
  return frames;
}

}  // namespace xaudio_test
