#pragma once

#include "gapless/JoinReach.h"
#include "stream/SourceFile.h"

// Real encodes made once per build folder, and a cut run through the output
// writer as the command line and the window run it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "output/OutputWriter.h"
#include "stream/Scanner.h"

namespace output_test {

inline std::string Shell(const std::string& command) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
  ::pclose(p);
  return out;
}

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool HaveTools() {
  return std::system("lame --help >/dev/null 2>&1") == 0 && std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

// Twenty seconds of tone and swelling noise, so that VBR frames vary, encoded
// as named. Each is written under another name and renamed into place, so
// that two test processes making it at once do no harm.
inline std::string Encode(const std::string& name) {
  const std::string dir = std::string(KERFWELL_BINARY_DIR) + "/tests/output/fixtures-1";
  const std::string path = dir + "/" + name;
  if (std::filesystem::exists(path)) return path;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const std::string part = path + ".part-" + std::to_string(::getpid());
  static const std::map<std::string, std::string> commands = {
      {"source.wav",
       "ffmpeg -nostdin -v error -y -f lavfi -i "
       "\"aevalsrc='0.4*sin(2*PI*440*t)+0.3*(random(0)-0.5)*(1+sin(0.5*t))|"
       "0.4*sin(2*PI*660*t)+0.3*(random(1)-0.5)*(1+cos(0.5*t))':s=44100:d=20\" -f wav"},
      {"lame-cbr.mp3", "lame --quiet -b 128"},
      {"lame-vbr.mp3", "lame --quiet -V 2"},
      {"lame-vbr-untagged.mp3", "lame --quiet -V 2 -t"},
      {"lame-mono-crc.mp3", "lame --quiet -b 64 -m m -p"},
      {"lame-mpeg2.mp3", "lame --quiet -V 4 --resample 22.05"},
      {"ffmpeg-vbr.mp3", "ffmpeg -nostdin -v error -y -i"},
  };
  const std::string& command = commands.at(name);
  if (name == "source.wav") {
    Shell(command + " '" + part + "'");
  } else if (name.rfind("ffmpeg", 0) == 0) {
    Shell(command + " '" + Encode("source.wav") + "' -c:a libmp3lame -q:a 3 -f mp3 '" + part + "'");
  } else {
    Shell(command + " '" + Encode("source.wav") + "' '" + part + "'");
  }
  std::filesystem::rename(part, path, ec);
  return path;
}

struct Job {
  std::string Input;
  std::int32_t Start = 0;
  std::int32_t Stop = 0x7fffffff;
};

// Cuts `jobs` into `output` through the writer; with `join`, each job after
// frames joins them as the command line joins them. False, with a message in
// `error`, when anything failed.
inline bool CutThroughWriter(const std::string& output, const std::vector<Job>& jobs, bool anyBitRate,
                             const OutputSettings& settings, const FinishSettings& finish, std::string& error,
                             bool join = false) {
  OutputWriter writer;
  OutputOpened opened;
  if (writer.Open(output, settings, opened, error) != OutputStatus::Ok) return false;
  for (const Job& j : jobs) {
    FrameHeader reference;
    if (!ProbeFile(j.Input, reference)) {
      error = "cannot probe " + j.Input;
      return false;
    }
    ScanOptions options;
    options.AnyBitRate = anyBitRate;
    options.EndAfterRange = true;
    options.Sink = &writer;
    writer.BeginJob();
    if (join && writer.AudioFrames() > 0) {
      SourceFile source(j.Input);
      CopyStart start;
      if (!MeasureCopyStart(source, reference, j.Start, start, error)) return false;
      writer.JoinJob(start.Reservoir);
    }
    const ScanResult r = ScanFrames(j.Input, "", j.Start, j.Stop, false, reference, {}, options);
    if (!r.Ok()) {
      error = r.Message;
      return false;
    }
  }
  return writer.Finish(finish, error) && writer.Commit(error);
}

}  // namespace output_test
