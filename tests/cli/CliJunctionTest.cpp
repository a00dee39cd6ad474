// Joins judged by real decoders: every part of an output joined from several
// ranges decodes, from 1152 samples after its junction on (one MPEG-1 frame,
// two MPEG-2 frames: the filter banks overlap one granule), as its source
// decodes (ffmpeg exactly, mpg123 within 1), the junction is no louder than
// the two songs' overlap (its neighbours' peaks added; garbage read as music
// goes far beyond), and neither decoder complains. Streams that cannot be
// one are refused. Sources are encoded at test time.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>

#include "CliRunner.h"

namespace {

using namespace clitest;

using Samples = std::vector<std::int16_t>;

// Decoded without gapless trimming, one channel: frame k of a stream is
// samples [k n, (k + 1) n) in both decoders.
Samples Decode(const std::string& path, bool mpg123, std::string* errors = nullptr) {
  const std::string cmd = mpg123 ? "mpg123 -q --no-gapless -m -s '" + path + "' 2>" + path + ".err"
                                 : "ffmpeg -v error -flags2 +skip_manual -i '" + path + "' -f s16le -ac 1 - 2>" +
                                       path + ".err";
  const std::string raw = Shell(cmd);
  if (errors) *errors += Slurp(path + ".err");
  Samples s(raw.size() / 2);
  std::memcpy(s.data(), raw.data(), s.size() * 2);
  return s;
}

int Peak(const Samples& s, std::size_t from, std::size_t to) {
  int peak = 0;
  for (std::size_t i = from; i < std::min(to, s.size()); ++i) peak = std::max(peak, std::abs(int{s[i]}));
  return peak;
}

// What a judged output showed.
struct Verdict {
  int Parts = 0;            // parts found in their sources, in order
  int CleanJunctions = 0;   // junctions whose part decodes as its source from one frame after on
  int LoudJunctions = 0;    // junction frames louder than both neighbours
  std::string Errors;       // the decoders' complaints
  std::size_t Leftover = 0; // output samples no part explained
};

// Finds each part of `out` in its source, in order (contiguous parts of one
// source count as one), and judges each junction.
Verdict Judge(const std::string& out, const std::vector<std::string>& sources, int n) {
  Verdict v;
  const Samples fo = Decode(out, false, &v.Errors);
  const Samples mo = Decode(out, true, &v.Errors);
  std::size_t pos = 0;
  for (std::size_t i = 0; i < sources.size() && pos < fo.size(); ++i) {
    const Samples fd = Decode(sources[i], false);
    const Samples md = Decode(sources[i], true);
    // The head of the first part may start damaged (mid-stream): it is found
    // further in.
    const std::size_t look = i == 0 ? 12 : 4;
    const std::size_t nn = static_cast<std::size_t>(n);
    auto same = [&](std::size_t o, std::size_t d, std::size_t len) {
      if (o + len > fo.size() || d + len > fd.size() || o + len > mo.size() || d + len > md.size()) return false;
      for (std::size_t j = 0; j < len; ++j) {
        if (fo[o + j] != fd[d + j] || std::abs(mo[o + j] - md[d + j]) > 1) return false;
      }
      return true;
    };
    std::int64_t k = -1;
    for (std::size_t f = look; (f + 2) * nn <= fd.size() && k < 0; ++f) {
      if (same(pos + look * nn, f * nn, 2 * nn)) k = static_cast<std::int64_t>(f - look);
    }
    if (k < 0) break;
    ++v.Parts;
    const std::size_t src = static_cast<std::size_t>(k) * nn;
    std::size_t m = look;
    while (same(pos + m * nn, src + m * nn, nn)) ++m;
    if (i > 0) {
      const std::size_t after = 1152;
      v.CleanJunctions += same(pos + after, src + after, look * nn - after);
      const int neighbours = Peak(fo, pos - after, pos) + Peak(fo, pos + after, pos + 2 * after);
      v.LoudJunctions += Peak(fo, pos, pos + after) > neighbours;
    }
    pos += m * nn;
  }
  v.Leftover = fo.size() - std::min(pos, fo.size());
  return v;
}

class CliJunction : public CliRun {
 protected:
  static void SetUpTestSuite() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-cli-junction-XXXXXX").string();
    fixtures_ = ::mkdtemp(tmpl.data());
    // Two different songs of tone in noise, 8 s each.
    for (const char* song : {"a", "b"}) {
      const bool a = song[0] == 'a';
      Shell(std::string("ffmpeg -v error -y -f lavfi -i sine=frequency=") + (a ? "440" : "620") +
            ":duration=8:sample_rate=44100 -f lavfi -i anoisesrc=color=" + (a ? "pink" : "brown") +
            ":amplitude=0.4:duration=8:seed=" + (a ? "3" : "8") +
            ":sample_rate=44100 -filter_complex '[0][1]amix=inputs=2' -ac 2 " + fixtures_ + "/" + song + ".wav");
    }
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(fixtures_); }
  // `song` ("a" or "b") encoded as `kind`.
  static std::string Encoded(const std::string& kind, const std::string& song) {
    static const std::map<std::string, std::string> lame = {
        {"cbr128", "-b 128"},           {"cbr320", "-b 320"},
        {"v2", "-V 2"},                 {"k48", "-b 128 --resample 48"},
        {"mpeg2", "-V 4 --resample 22.05"}, {"mono16", "-m m -b 32 --resample 16"},
        {"low32", "-b 32 --resample 44.1"}, {"crc", "-b 64 -m m -p"},
    };
    const std::string out = fixtures_ + "/" + kind + "-" + song + ".mp3";
    if (std::filesystem::exists(out)) return out;
    const std::string wav = fixtures_ + "/" + song + ".wav";
    if (kind == "ffmpeg") {
      Shell("ffmpeg -v error -y -i " + wav + " -c:a libmp3lame -q:a 3 " + out);
    } else {
      Shell("lame --silent " + lame.at(kind) + " " + wav + " " + out);
    }
    return out;
  }
  static std::string fixtures_;
};
std::string CliJunction::fixtures_;

TEST_F(CliJunction, EveryJunctionDecodesAsItsSources) {
  const struct {
    const char* name;
    std::vector<std::pair<std::string, std::string>> parts;  // kind-song, range
    int samplesPerFrame;
  } cases[] = {
      {"CBR 128 by time", {{"cbr128-a", "1s-3s"}, {"cbr128-b", "2s-4.5s"}, {"cbr128-a", "5s-6s"}}, 1152},
      {"CBR 320", {{"cbr320-a", "0:01-0:02"}, {"cbr320-b", "3s-5s"}}, 1152},
      {"VBR -V 2", {{"v2-a", "1s-3s"}, {"v2-b", "2s-4s"}, {"v2-a", "6s-7s"}}, 1152},
      {"48 kHz", {{"k48-a", "1s-2s"}, {"k48-b", "4s-5s"}}, 1152},
      {"MPEG-2 22.05 kHz", {{"mpeg2-a", "1s-3s"}, {"mpeg2-b", "2s-4s"}}, 576},
      {"MPEG-2 16 kHz mono", {{"mono16-a", "1s-3s"}, {"mono16-b", "2s-4s"}}, 576},
      {"ffmpeg-made", {{"ffmpeg-a", "1s-3s"}, {"ffmpeg-b", "2s-4s"}}, 1152},
      {"whole files", {{"cbr128-a", ""}, {"cbr128-b", ""}}, 1152},
      {"mono with CRCs", {{"crc-a", "1s-3s"}, {"crc-b", "2s-4s"}}, 1152},
      {"32 kbps after 128 kbps: a wider frame", {{"cbr128-a", "1s-3s"}, {"low32-b", "2s-4s"}}, 1152},
      {"32 kbps after 32 kbps: a wider frame", {{"low32-a", "1s-3s"}, {"low32-b", "2s-4s"}}, 1152},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Every bit rate: a frame before a junction may grow to give room.
    std::vector<std::string> args = {"cut", "--any-bitrate", "-o", Path("out.mp3")};
    std::vector<std::string> sources;
    for (const auto& [file, range] : c.parts) {
      const std::size_t dash = file.rfind('-');
      sources.push_back(Encoded(file.substr(0, dash), file.substr(dash + 1)));
      args.push_back(range.empty() ? sources.back() : sources.back() + "@" + range);
    }
    std::filesystem::remove(Path("out.mp3"));
    const Outcome r = Exec(args);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_FALSE(Contains(r.Err, "decode damaged") && !Contains(r.Err, "job 1 of")) << r.Err;
    EXPECT_FALSE(Contains(r.Err, "decode as silence")) << r.Err;
    const Verdict v = Judge(Path("out.mp3"), sources, c.samplesPerFrame);
    EXPECT_EQ(v.Parts, static_cast<int>(sources.size()));
    EXPECT_EQ(v.CleanJunctions, v.Parts - 1);
    EXPECT_EQ(v.LoudJunctions, 0);
    EXPECT_EQ(v.Errors, "");
    EXPECT_EQ(v.Leftover, 0u);  // a later part's Xing frame plays no samples
  }
}

TEST_F(CliJunction, WithOneBitRateTheFramesWithoutRoomAreMutedAndSaid) {
  const std::string a = Encoded("cbr128", "a");
  const std::string b = Encoded("cbr128", "b");
  // b's last frame before 4.5 s leaves fewer free bytes than a's frame at
  // 5 s takes from before it.
  const Outcome r =
      Exec({"cut", "--one-bitrate", "-o", Path("out.mp3"), a + "@1s-3s", b + "@2s-4.5s", a + "@5s-6s"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(Contains(r.Err, a + "@5s-6s: 1 frames at its start decode as silence")) << r.Err;
  const Verdict v = Judge(Path("out.mp3"), {a, b, a}, 1152);
  EXPECT_EQ(v.Parts, 3);
  EXPECT_EQ(v.LoudJunctions, 0);  // silence, not a burst
  EXPECT_EQ(v.Errors, "");
  EXPECT_EQ(v.Leftover, 0u);
}

TEST_F(CliJunction, ContiguousTimeRangesOfOneFileCopyNoFrameTwice) {
  const std::string a = Encoded("cbr128", "a");
  for (const std::vector<std::string>& ranges :
       {std::vector<std::string>{"@-2s", "@2s-"}, {"@-0:02.5", "@0:02.5-5s", "@5s-"}}) {
    SCOPED_TRACE(ranges[1]);
    std::vector<std::string> args = {"cut", "--overwrite", "-o", Path("out.mp3")};
    for (const std::string& range : ranges) args.push_back(a + range);
    const Outcome r = Exec(args);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(Decode(Path("out.mp3"), false) == Decode(a, false));
  }
}

TEST_F(CliJunction, StreamsThatCannotBeOneAreRefused) {
  const struct {
    const char* name;
    std::string second;
    const char* differs;
  } cases[] = {
      {"48 kHz after 44.1 kHz", Encoded("k48", "b"), "sampling frequency differs"},
      {"MPEG-2 after MPEG-1", Encoded("mpeg2", "b"), "MPEG version differs"},
      {"mono after stereo", Encoded("crc", "b"), "channel count differs"},
  };
  const std::string first = Encoded("cbr128", "a");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome r = Exec({"cut", "--any-bitrate", "-o", Path("mixed.mp3"), first + "@1s-2s", c.second + "@1s-2s"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_TRUE(Contains(r.Err, c.differs)) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "passed over job 2 of 2")) << r.Err;
    EXPECT_FALSE(std::filesystem::exists(Path("mixed.mp3")));  // a run that passed a job over commits nothing
    // Appending to an output of the first stream is refused the same way.
    ASSERT_EQ(Exec({"cut", "--overwrite", "-o", Path("old.mp3"), first + "@1s-2s"}).Status, 0);
    const std::string before = Slurp(Path("old.mp3"));
    const Outcome appended = Exec({"cut", "--append", "--any-bitrate", "-o", Path("old.mp3"), c.second + "@1s-2s"});
    EXPECT_EQ(appended.Status, 1);
    EXPECT_TRUE(Contains(appended.Err, c.differs)) << appended.Err;
    EXPECT_TRUE(Slurp(Path("old.mp3")) == before);
  }
}

}  // namespace
