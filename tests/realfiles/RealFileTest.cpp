// Files as encoders and taggers leave them (lame, twolame and ffmpeg output
// with ID3v2 tags of every alignment, cover art, VBR, 48 and 32 kHz, MPEG-2,
// two tagged files joined), made at test time, counted and cut by
// kerfwell-cut, and judged by a real decoder. One row per kind of file; each
// row prints its figures in the table at the end of the run.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

struct Outcome {
  int Status = -1;
  std::string Out;
  std::string Err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Join(const Args& args) {
  std::string all;
  for (const std::string& a : args) all += (all.empty() ? "" : " ") + a;
  return all;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Output and errors go to files, so that a chatty tool never blocks on a pipe.
Outcome Spawn(const Args& args, const std::string& scratch) {
  const std::string out = scratch + "/.stdout", err = scratch + "/.stderr";
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int none = ::open("/dev/null", O_RDONLY);
    ::dup2(none, 0);  // ffmpeg reads keys from standard input
    ::dup2(o, 1);
    ::dup2(e, 2);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  Outcome r;
  r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.Out = Slurp(out);
  r.Err = Slurp(err);
  return r;
}

// The test's own reading of a file's layout, independent of the engine.
std::size_t LeadingTagsLength(const std::string& file) {
  std::size_t p = 0;
  while (file.size() >= p + 10 && file.compare(p, 3, "ID3") == 0) {
    const auto at = [&](std::size_t i) {
      return static_cast<std::size_t>(static_cast<unsigned char>(file[p + i]));
    };
    p += 10 + ((at(6) << 21) | (at(7) << 14) | (at(8) << 7) | at(9)) + ((at(5) & 0x10) ? 10 : 0);
  }
  return std::min(p, file.size());
}

// The frames without the tags around them: what a whole cut may hold.
std::string FramesOnly(const std::string& file) {
  const std::size_t begin = LeadingTagsLength(file);
  std::size_t end = file.size();
  if (end >= begin + 128 && file.compare(end - 128, 3, "TAG") == 0) end -= 128;
  return file.substr(begin, end - begin);
}

// An encoder's Xing/Info frame: a frame header whose side information is
// followed by "Xing" or "Info". Decoders skip it at the start of a file, and
// decode it as a frame of silence anywhere else.
bool StartsWithInfoFrame(const std::string& frames) {
  if (frames.size() < 48 || static_cast<unsigned char>(frames[0]) != 0xFF ||
      (static_cast<unsigned char>(frames[1]) & 0xE0) != 0xE0)
    return false;
  const std::string side = frames.substr(4, 40);
  return Contains(side, "Xing") || Contains(side, "Info");
}

// The frame count an Info/Xing frame at the start of `frames` declares, -1
// when there is none or it declares none.
int DeclaredFrames(const std::string& frames) {
  if (!StartsWithInfoFrame(frames)) return -1;
  const std::string side = frames.substr(4, 40);
  std::size_t at = side.find("Xing");
  if (at == std::string::npos) at = side.find("Info");
  const std::size_t tag = 4 + at;
  if (frames.size() < tag + 12 || !(static_cast<unsigned char>(frames[tag + 7]) & 1)) return -1;
  int n = 0;
  for (std::size_t i = tag + 8; i < tag + 12; ++i) n = n * 256 + static_cast<unsigned char>(frames[i]);
  return n;
}

// CRC-16 (polynomial 0x8005, reflected, from 0) as the LAME extension uses it.
unsigned Crc16(const std::string& bytes, std::size_t from, std::size_t to) {
  unsigned crc = 0;
  for (std::size_t i = from; i < to; ++i) {
    crc ^= static_cast<unsigned char>(bytes[i]);
    for (int b = 0; b < 8; ++b) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

// The Xing/Info tag and LAME extension at the start of `frames`, read by the
// published layout.
struct TagFields {
  bool Present = false;
  std::size_t FrameLength = 0;
  long Frames = -1;  // -1: the field is absent
  long Bytes = -1;
  bool Lame = false;
  int Delay = 0;
  int Padding = 0;
  long MusicLength = 0;
  unsigned MusicCrc = 0;
  unsigned TagCrc = 0;
  std::size_t TagCrcAt = 0;
};

TagFields ReadTagFields(const std::string& frames) {
  TagFields t;
  if (!StartsWithInfoFrame(frames)) return t;
  const auto at = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(frames[i])); };
  const auto be32 = [&](std::size_t i) {
    return static_cast<long>(at(i) << 24 | at(i + 1) << 16 | at(i + 2) << 8 | at(i + 3));
  };
  const bool mpeg1 = (at(1) >> 3 & 3) == 3, mono = (at(3) >> 6) == 3;
  static const int kKbps[2][16] = {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
                                   {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}};
  static const int kHz[2][3] = {{22050, 24000, 16000}, {44100, 48000, 32000}};
  const int kbps = kKbps[mpeg1][at(2) >> 4], hz = kHz[mpeg1][at(2) >> 2 & 3];
  t.FrameLength = static_cast<std::size_t>((mpeg1 ? 144000 : 72000) * kbps / hz + (at(2) >> 1 & 1));
  std::size_t p = 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
  if (frames.compare(p, 4, "Xing") != 0 && frames.compare(p, 4, "Info") != 0) return t;
  t.Present = true;
  const long flags = be32(p + 4);
  p += 8;
  if (flags & 1) t.Frames = be32(p), p += 4;
  if (flags & 2) t.Bytes = be32(p), p += 4;
  if (flags & 4) p += 100;
  if (flags & 8) p += 4;
  if (p + 36 <= t.FrameLength && std::isalpha(at(p))) {
    t.Lame = true;
    t.Delay = static_cast<int>(at(p + 21) << 4 | at(p + 22) >> 4);
    t.Padding = static_cast<int>((at(p + 22) & 0xF) << 8 | at(p + 23));
    t.MusicLength = be32(p + 28);
    t.MusicCrc = at(p + 32) << 8 | at(p + 33);
    t.TagCrc = at(p + 34) << 8 | at(p + 35);
    t.TagCrcAt = p + 34;
  }
  return t;
}

// A syncsafe size, as ID3v2 headers hold it.
std::string Syncsafe(std::size_t v) {
  std::string b;
  for (int shift = 21; shift >= 0; shift -= 7) b += static_cast<char>((v >> shift) & 0x7F);
  return b;
}

// Bytes that look like audio frames to a careless reader: whole stretches of
// 0xFF 0xFB pairs and valid headers amid random bytes, as in pictures.
std::string SyncLikeBytes(std::size_t n, unsigned seed) {
  std::string b(n, '\0');
  unsigned x = seed;
  for (std::size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    b[i] = static_cast<char>(x >> 16);
  }
  for (std::size_t i = 0; i + 4 <= n; i += 409) b.replace(i, 4, "\xFF\xFB\x90\x64");
  return b;
}

// A file that only `Spawn`s tools and the test's writes made: the tag of an
// mp3 made again with its size field changed.
std::string WithId3Size(const std::string& file, std::size_t declared, bool plain, char version) {
  std::string out = file;
  out[3] = version;
  std::string size = Syncsafe(declared);
  if (plain) {
    size.clear();
    for (int shift = 24; shift >= 0; shift -= 8) size += static_cast<char>((declared >> shift) & 0xFF);
  }
  out.replace(6, 4, size);
  return out;
}

// Makes the files in one scratch folder with the real tools.
class Workshop {
 public:
  explicit Workshop(std::string dir) : dir_(std::move(dir)) {}

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  const std::string& Dir() const { return dir_; }

  // Runs a tool that must succeed; a failure is reported with its errors.
  bool Tool(const Args& args) const {
    const Outcome r = Spawn(args, dir_);
    if (r.Status != 0) ADD_FAILURE() << Join(args) << " exited " << r.Status << ":\n" << r.Err;
    return r.Status == 0;
  }

  // A sweep on the left and pink noise on the right, so that encoders have
  // work to do and VBR frames vary. -R: the same noise each run.
  std::string Wav(int rate, int seconds = 6) const {
    const std::string wav = Path("src-" + std::to_string(rate) + "-" + std::to_string(seconds) + ".wav");
    if (!std::filesystem::exists(wav))
      Tool({"sox", "-R", "-n", "-r", std::to_string(rate), "-c", "2", "-b", "16", wav, "synth",
            std::to_string(seconds), "sine", "300-3000", "pinknoise", "vol", "0.4"});
    return wav;
  }

  // lame's ID3v2 tag grows with each text it holds; a few titles and artists
  // are tried until the tag's length has the wanted remainder mod 4, so the
  // frames behind it start at that alignment whatever lame's version.
  bool LameTagged(Args options, int rate, int remainder, const std::string& out, int seconds = 6) const {
    for (const char* title : {"A", "AB", "ABC", "ABCD"}) {
      for (const char* artist : {"", "B"}) {
        Args args = {"lame", "--silent"};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {"--add-id3v2", "--tt", title});
        if (*artist) args.insert(args.end(), {"--ta", artist});
        args.insert(args.end(), {Wav(rate, seconds), out});
        if (!Tool(args)) return false;
        if (static_cast<int>(LeadingTagsLength(Slurp(out)) % 4) == remainder) return true;
      }
    }
    ADD_FAILURE() << "no lame tag of length " << remainder << " mod 4 for " << out;
    return false;
  }

  // lame's encode with an ID3v2 tag holding 40 KiB of cover art whose bytes
  // look like frames.
  bool CoverTagged(const std::string& out) const {
    const std::string cover = Path("cover.png");
    std::ofstream(cover, std::ios::binary) << "\x89PNG\r\n\x1a\n" << SyncLikeBytes(40960, 3);
    return Tool({"lame", "--silent", "-b", "128", "--tt", "Cover", "--ti", cover, Wav(44100), out});
  }

 private:
  std::string dir_;
};

// A file to count and cut, and the files it was joined from (the file alone
// when it was not): each part is judged by the decoder on its own.
struct Made {
  std::string Path;
  std::vector<std::string> Parts;
};

struct Kind {
  const char* Id;    // test name
  const char* Name;  // row of the table and failure messages
  int Rate;
  int SamplesPerFrame;
  bool Vbr;
  std::function<bool(const Workshop&, Made&)> Make;
};

void PrintTo(const Kind& kind, std::ostream* os) { *os << kind.Name; }

Made One(const std::string& path) { return Made{path, {path}}; }

const std::vector<Kind>& Kinds() {
  static const std::vector<Kind> kinds = {
      {"Lame44Tag0", "lame 128k 44.1 kHz, tag 0 mod 4", 44100, 1152, false,
       [](const Workshop& w, Made& m) {
         m = One(w.Path("in.mp3"));
         return w.LameTagged({"-b", "128"}, 44100, 0, m.Path);
       }},
      {"Lame48Tag1", "lame 160k 48 kHz, tag 1 mod 4", 48000, 1152, false,
       [](const Workshop& w, Made& m) {
         m = One(w.Path("in.mp3"));
         return w.LameTagged({"-b", "160"}, 48000, 1, m.Path);
       }},
      {"Lame32Tag2", "lame 96k 32 kHz, tag 2 mod 4", 32000, 1152, false,
       [](const Workshop& w, Made& m) {
         m = One(w.Path("in.mp3"));
         return w.LameTagged({"-b", "96"}, 32000, 2, m.Path);
       }},
      {"Lame44Tag3", "lame 192k 44.1 kHz, tag 3 mod 4", 44100, 1152, false,
       [](const Workshop& w, Made& m) {
         m = One(w.Path("in.mp3"));
         return w.LameTagged({"-b", "192"}, 44100, 3, m.Path);
       }},
      // Stereo without copyright, original or emphasis: a zero fourth header byte.
      {"LameStereoNoFlags", "lame -m s -o 128k 44.1 kHz, tagged", 44100, 1152, false,
       [](const Workshop& w, Made& m) {
         m = One(w.Path("in.mp3"));
         return w.LameTagged({"-m", "s", "-o", "-b", "128"}, 44100, 2, m.Path);
       }},
      {"LameMpeg2Mono", "lame 48k MPEG-2 22.05 kHz mono, tagged", 22050, 576, false,
       [](const Workshop& w, Made& m) {
         m = One(w.Path("in.mp3"));
         return w.LameTagged({"-m", "m", "-b", "48"}, 22050, 1, m.Path);
       }},
      {"LameMpeg2StereoNoFlags", "lame -m s -o 64k MPEG-2 24 kHz, tagged", 24000, 576, false,
       [](const Workshop& w, Made& m) {
         m = One(w.Path("in.mp3"));
         return w.LameTagged({"-m", "s", "-o", "-b", "64"}, 24000, 3, m.Path);
       }},
      // Random pixels do not compress: the picture, and so the tag, exceeds
      // the 2 MiB in which the first frame used to be looked for.
      {"LameCoverArt", "lame 128k 44.1 kHz, 2.9 MiB cover art", 44100, 1152, false,
       [](const Workshop& w, Made& m) {
         m = One(w.Path("in.mp3"));
         const std::string cover = w.Path("cover.png");
         if (!w.Tool({"convert", "-size", "1000x1000", "xc:", "-seed", "12", "+noise", "Random", "-depth",
                      "8", cover}))
           return false;
         const auto size = std::filesystem::file_size(cover);
         EXPECT_GT(size, 2u << 20) << "the cover must outgrow the 2 MiB window";
         return size > (2u << 20) && w.Tool({"lame", "--silent", "-b", "128", "--tt", "Cover", "--ti", cover,
                                             w.Wav(44100), m.Path});
       }},
      {"FfmpegLame", "ffmpeg libmp3lame 128k 44.1 kHz, ID3v2.4", 44100, 1152, false,
       [](const Workshop& w, Made& m) {
         m = One(w.Path("in.mp3"));
         return w.Tool({"ffmpeg", "-v", "error", "-i", w.Wav(44100), "-c:a", "libmp3lame", "-b:a", "128k",
                        "-metadata", "title=Kerfwell", "-metadata", "artist=Real files", m.Path});
       }},
      // Its defaults: 384k stereo without flags, so a zero fourth byte.
      {"FfmpegTwolame", "ffmpeg libtwolame defaults 44.1 kHz", 44100, 1152, false,
       [](const Workshop& w, Made& m) {
         m = One(w.Path("in.mp2"));
         return w.Tool({"ffmpeg", "-v", "error", "-i", w.Wav(44100), "-c:a", "libtwolame", m.Path});
       }},
      {"FfmpegMp2", "ffmpeg mp2 192k 48 kHz", 48000, 1152, false,
       [](const Workshop& w, Made& m) {
         m = One(w.Path("in.mp2"));
         return w.Tool({"ffmpeg", "-v", "error", "-i", w.Wav(48000), "-c:a", "mp2", "-b:a", "192k", m.Path});
       }},
      {"Twolame32", "twolame 192k 32 kHz", 32000, 1152, false,
       [](const Workshop& w, Made& m) {
         m = One(w.Path("in.mp2"));
         return w.Tool({"twolame", "--quiet", "-b", "192", w.Wav(32000), m.Path});
       }},
      // The second file's tags and Info frame sit in the middle of the stream,
      // its frames at another alignment than the first's.
      {"CatTwoTagged", "cat of two lame-tagged files", 44100, 1152, false,
       [](const Workshop& w, Made& m) {
         m = Made{w.Path("joined.mp3"), {w.Path("a.mp3"), w.Path("b.mp3")}};
         if (!w.LameTagged({"-b", "128"}, 44100, 1, m.Parts[0]) ||
             !w.LameTagged({"-b", "128"}, 44100, 2, m.Parts[1], 4))
           return false;
         std::ofstream(m.Path, std::ios::binary) << Slurp(m.Parts[0]) << Slurp(m.Parts[1]);
         return true;
       }},
      {"LameVbr", "lame -V 2 VBR 44.1 kHz, tagged", 44100, 1152, true,
       [](const Workshop& w, Made& m) {
         m = One(w.Path("in.mp3"));
         return w.LameTagged({"-V", "2"}, 44100, 0, m.Path);
       }},
      {"FfmpegVbr48", "ffmpeg libmp3lame -q:a 4 VBR 48 kHz", 48000, 1152, true,
       [](const Workshop& w, Made& m) {
         m = One(w.Path("in.mp3"));
         return w.Tool({"ffmpeg", "-v", "error", "-i", w.Wav(48000), "-c:a", "libmp3lame", "-q:a", "4",
                        "-metadata", "title=Kerfwell", m.Path});
       }},
      // Its Info frame does not fit in a 32 kbps frame, so it has another bit
      // rate than the audio.
      {"FfmpegCbr32", "ffmpeg libmp3lame 32k 44.1 kHz, off-rate Info frame", 44100, 1152, false,
       [](const Workshop& w, Made& m) {
         m = One(w.Path("in.mp3"));
         return w.Tool(
             {"ffmpeg", "-v", "error", "-i", w.Wav(44100), "-c:a", "libmp3lame", "-b:a", "32k", m.Path});
       }},
      // Taggers' faults: the tail of the cover art, full of look-alike
      // headers, comes before the audio. The frames are those of the file
      // before its tag was spoilt.
      {"Id3SizeShort", "ID3v2.3 size 2,000 bytes short, cover art", 44100, 1152, false,
       [](const Workshop& w, Made& m) {
         m = Made{w.Path("in.mp3"), {w.Path("sound.mp3")}};
         if (!w.CoverTagged(m.Parts[0])) return false;
         const std::string file = Slurp(m.Parts[0]);
         const std::size_t size = LeadingTagsLength(file) - 10;
         std::ofstream(m.Path, std::ios::binary) << WithId3Size(file, size - 2000, false, 3);
         return true;
       }},
      {"Id3SizePlain", "ID3v2.4 size as a plain number, cover art", 44100, 1152, false,
       [](const Workshop& w, Made& m) {
         m = Made{w.Path("in.mp3"), {w.Path("sound.mp3")}};
         if (!w.CoverTagged(m.Parts[0])) return false;
         const std::string file = Slurp(m.Parts[0]);
         std::ofstream(m.Path, std::ios::binary) << WithId3Size(file, LeadingTagsLength(file) - 10, true, 4);
         return true;
       }},
      // A tag frame whose counts are right but whose music CRC is not: a
      // whole cut must not keep it because the counts agree.
      {"StaleMusicCrc", "lame 128k, Info frame with a stale music CRC", 44100, 1152, false,
       [](const Workshop& w, Made& m) {
         m = Made{w.Path("in.mp3"), {w.Path("sound.mp3")}};
         if (!w.Tool({"lame", "--silent", "-b", "128", w.Wav(44100), m.Parts[0]})) return false;
         std::string file = Slurp(m.Parts[0]);
         const TagFields t = ReadTagFields(file);
         if (!t.Lame) {
           ADD_FAILURE() << "lame wrote no LAME extension";
           return false;
         }
         file[t.TagCrcAt - 1] = static_cast<char>(file[t.TagCrcAt - 1] ^ 0x5A);  // the music CRC's low byte
         const unsigned crc = Crc16(file, 0, t.TagCrcAt);
         file[t.TagCrcAt] = static_cast<char>(crc >> 8);
         file[t.TagCrcAt + 1] = static_cast<char>(crc);
         std::ofstream(m.Path, std::ios::binary) << file;
         return true;
       }},
      // Tags appended after the audio, holding binary data.
      {"ApeLyricsId3v1", "APEv2 binary item, Lyrics3v2, ID3v1 at the end", 44100, 1152, false,
       [](const Workshop& w, Made& m) {
         m = Made{w.Path("in.mp3"), {w.Path("sound.mp3")}};
         if (!w.LameTagged({"-b", "128", "--id3v2-only"}, 44100, 0, m.Parts[0])) return false;
         const auto le32 = [](std::size_t v) {
           std::string b;
           for (int i = 0; i < 4; ++i) b += static_cast<char>(v >> (8 * i));
           return b;
         };
         const std::string art = SyncLikeBytes(30000, 7);
         const std::string items =
             le32(art.size()) + le32(2) + "Cover Art (Front)" + std::string(1, '\0') + art;
         const auto block = [&](std::size_t flags) {
           return "APETAGEX" + le32(2000) + le32(items.size() + 32) + le32(1) + le32(flags) +
                  std::string(8, '\0');
         };
         const std::string lyrics = "LYRICSBEGININDhere" + SyncLikeBytes(3000, 9);
         char size[7];
         std::snprintf(size, sizeof size, "%06zu", lyrics.size());
         std::ofstream(m.Path, std::ios::binary) << Slurp(m.Parts[0]) << block(0xA0000000u) << items
                                                 << block(0x80000000u) << lyrics << size << "LYRICS200"
                                                 << "TAG" << std::string(125, 'v');
         return true;
       }},
      {"AppendedId3v2", "ID3v2.4 with cover art appended at the end", 44100, 1152, false,
       [](const Workshop& w, Made& m) {
         m = Made{w.Path("in.mp3"), {w.Path("sound.mp3")}};
         if (!w.LameTagged({"-b", "128", "--id3v2-only"}, 44100, 1, m.Parts[0])) return false;
         const std::string art = SyncLikeBytes(60000, 11);
         const std::string frame = "APIC" + Syncsafe(art.size() + 14) + std::string(2, '\0') +
                                   std::string(1, '\0') + "image/png" + std::string(1, '\0') + "\x03" +
                                   std::string(1, '\0') + art;
         const std::string flags = std::string("\x04\x00\x10", 3) + Syncsafe(frame.size());
         std::ofstream(m.Path, std::ios::binary)
             << Slurp(m.Parts[0]) << "ID3" << flags << frame << "3DI" << flags;
         return true;
       }},
  };
  // lame's VBR at every quality in the default mode: 48 kHz stereo and 32 kHz
  // mono. Frame 0 is the Info frame; the first audio frame is the yardstick.
  static const std::vector<Kind> all = [] {
    std::vector<Kind> v = kinds;
    static const char* const kIds48[] = {"LameV0At48", "LameV1At48", "LameV2At48", "LameV3At48",
                                         "LameV4At48", "LameV5At48", "LameV6At48", "LameV7At48",
                                         "LameV8At48", "LameV9At48"};
    static const char* const kIds32[] = {
        "LameV0At32Mono", "LameV1At32Mono", "LameV2At32Mono", "LameV3At32Mono", "LameV4At32Mono",
        "LameV5At32Mono", "LameV6At32Mono", "LameV7At32Mono", "LameV8At32Mono", "LameV9At32Mono"};
    static std::vector<std::string> names;
    names.reserve(20);
    for (int mono = 0; mono < 2; ++mono) {
      for (int q = 0; q <= 9; ++q) {
        const int rate = mono ? 32000 : 48000;
        names.push_back("lame -V " + std::to_string(q) + (mono ? " 32 kHz mono" : " 48 kHz"));
        v.push_back({mono ? kIds32[q] : kIds48[q], names.back().c_str(), 0, 0, true,
                     [q, mono, rate](const Workshop& w, Made& m) {
                       m = One(w.Path("in.mp3"));
                       Args args = {"lame", "--silent", "-V", std::to_string(q)};
                       if (mono) args.insert(args.end(), {"-m", "m"});
                       args.insert(args.end(), {w.Wav(rate, 4), m.Path});
                       return w.Tool(args);
                     }});
      }
    }
    return v;
  }();
  return all;
}

// Faults this suite found that are not mended yet. The cut's checks still
// run and fill the table, but their failures end the row in a skip that
// names the fault, so that the rest of the suite keeps guarding meanwhile.
// KERFWELL_REALFILES_ALL=1 fails on them as on any other (survey sets it).
// None is known now; a row is added here as "id", "cut" and what is wrong.
const char* KnownFault(const std::string& /*id*/, const std::string& /*cut*/) { return nullptr; }

// One row of the table printed at the end of the run.
struct Figures {
  std::string Name;
  int CountGot = -1;
  int CountWant = -1;
  std::string CountCell;                   // instead of got/want: a file that is no audio
  std::string Cells[3] = {"-", "-", "-"};  // whole, middle third, first half
  std::string LeftOut = "";                // VBR: a whole cut without --any-bitrate
  bool WholeKeptAndClean = false;
  bool HalfHonest = false;
  bool AllPassed = false;
};

std::vector<Figures>& Table() {
  static std::vector<Figures> rows;
  return rows;
}

std::string CutBinary() {
  const char* cut = std::getenv("KERFWELL_CUT");
  return cut ? cut : std::string(KERFWELL_BINARY_DIR) + "/cli/kerfwell-cut";
}

class TablePrinter : public testing::Environment {
 public:
  void TearDown() override {
    const std::vector<Figures>& rows = Table();
    if (rows.empty()) return;
    std::vector<std::vector<std::string>> lines = {
        {"file", "count", "whole", "middle third", "first half", "VBR without --any-bitrate"}};
    int counted = 0, kept = 0, honest = 0, passed = 0;
    for (const Figures& f : rows) {
      lines.push_back(
          {f.Name,
           f.CountCell.empty() ? std::to_string(f.CountGot) + "/" + std::to_string(f.CountWant) : f.CountCell,
           f.Cells[0], f.Cells[1], f.Cells[2], f.LeftOut});
      counted += f.CountCell.empty() ? f.CountWant >= 0 && f.CountGot == f.CountWant : f.AllPassed;
      kept += f.WholeKeptAndClean;
      honest += f.HalfHonest;
      passed += f.AllPassed;
    }
    std::vector<std::size_t> widths(lines[0].size(), 0);
    for (const auto& line : lines)
      for (std::size_t i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], line[i].size());
    std::printf("\nReal-file suite, %s\n", CutBinary().c_str());
    for (const auto& line : lines) {
      std::string text;
      for (std::size_t i = 0; i < line.size(); ++i)
        text += line[i] + std::string(i + 1 < line.size() ? widths[i] - line[i].size() + 2 : 0, ' ');
      std::printf("%s\n", text.c_str());
    }
    const int n = static_cast<int>(rows.size());
    std::printf(
        "count right %d/%d; whole cut keeps every frame and decodes cleanly %d/%d; "
        "first half honest about its length %d/%d; every check passes %d/%d\n",
        counted, n, kept, n, honest, n, passed, n);
    std::fflush(stdout);
  }
};

[[maybe_unused]] testing::Environment* const kTablePrinter =
    testing::AddGlobalTestEnvironment(new TablePrinter);

class RealFile : public testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-real-XXXXXX").string();
    dir_ = ::mkdtemp(tmpl.data());
  }
  void TearDown() override {
    if (std::getenv("KERFWELL_KEEP_REALFILES")) {
      std::printf("files kept in %s\n", dir_.c_str());
    } else {
      std::filesystem::remove_all(dir_);
    }
  }

  Outcome Cut(const Args& args) const {
    Args all = {CutBinary()};
    all.insert(all.end(), args.begin(), args.end());
    return Spawn(all, dir_);
  }

  // The frames ffmpeg reads from the file (an Info frame at its start is
  // taken as a tag, not a frame) and ffprobe's duration, which counts whole
  // frames too. Not the decoded frames: gapless trimming can empty the first
  // one (lame's MPEG-2 delay of 1105 samples outlasts a 576-sample frame).
  struct Probed {
    int Frames = -1;
    int Rate = 0;
    double Duration = -1.0;
  };
  Probed Probe(const std::string& path) const {
    const Outcome r =
        Spawn({"ffprobe", "-v", "error", "-count_packets", "-select_streams", "a:0", "-show_entries",
               "stream=nb_read_packets,sample_rate:format=duration", "-of", "default=nw=1", path},
              dir_);
    Probed p;
    const std::size_t frames = r.Out.find("nb_read_packets="), duration = r.Out.find("duration=");
    const std::size_t rate = r.Out.find("sample_rate=");
    if (r.Status == 0 && rate != std::string::npos) p.Rate = std::atoi(r.Out.c_str() + rate + 12);
    if (r.Status == 0 && frames != std::string::npos) p.Frames = std::atoi(r.Out.c_str() + frames + 16);
    if (r.Status == 0 && duration != std::string::npos) p.Duration = std::atof(r.Out.c_str() + duration + 9);
    return p;
  }

  // Where ffmpeg finds each frame and how long it is.
  struct Packet {
    std::int64_t Position = 0;
    std::int64_t Size = 0;
  };
  std::vector<Packet> Packets(const std::string& path) const {
    const Outcome r = Spawn({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                             "packet=pos,size", "-of", "default=nw=1", path},
                            dir_);
    std::vector<Packet> packets;
    std::istringstream lines(r.Out);
    Packet p;
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("size=", 0) == 0) p.Size = std::atoll(line.c_str() + 5);
      if (line.rfind("pos=", 0) == 0) {
        p.Position = std::atoll(line.c_str() + 4);
        packets.push_back(p);
      }
    }
    return packets;
  }

  // Everything the decoder says at error level while decoding the whole file.
  std::string DecoderErrors(const std::string& path) const {
    const Outcome r = Spawn({"ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"}, dir_);
    return r.Out + r.Err + (r.Status != 0 ? "exit " + std::to_string(r.Status) : "");
  }

  // What mpg123 says while decoding the whole file: its errors, warnings and
  // notes about resyncing over junk.
  // `fromStart`: the cut starts with the source's first audio frame; one
  // that starts later lacks the bit reservoir its first frame draws on, which
  // mpg123 reports for that frame (a frame cut cannot bring it along).
  std::string Mpg123Errors(const std::string& path, bool fromStart) const {
    const Outcome r = Spawn({"mpg123", "-t", path}, dir_);
    std::istringstream lines(r.Out + r.Err);
    std::string errors;
    bool reservoirSeen = false;
    for (std::string line; std::getline(lines, line);) {
      std::string lower = line;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const bool reservoir = Contains(lower, "part2_3_length") || Contains(lower, "reservoir");
      if (reservoir && !fromStart && !reservoirSeen) {
        reservoirSeen = true;
        continue;
      }
      if (Contains(lower, "error") || Contains(lower, "warning") || Contains(lower, "illegal") ||
          Contains(lower, "resync") || Contains(lower, "big_values") || reservoir)
        errors += line + "\n";
    }
    return errors + (r.Status != 0 ? "exit " + std::to_string(r.Status) : "");
  }

  bool OffersAnyBitRate() const { return Contains(Cut({"help", "cut"}).Out, "--any-bitrate"); }

  std::string dir_;
};

struct Range {
  const char* Name;
  int Start;
  int Stop;
  bool Whole;  // the job names the file alone
};

TEST_P(RealFile, CountsAndCutsAsTheDecoderSees) {
  const Kind& kind = GetParam();
  SCOPED_TRACE(kind.Name);
  Table().push_back(Figures{kind.Name});
  Figures& row = Table().back();
  const Workshop w(dir_);
  Made made;
  ASSERT_TRUE(kind.Make(w, made)) << kind.Name << ": the file could not be made";

  // ffmpeg's frames of each part, plus the Info frame it skips at the start of
  // each; the frames alone, joined, are what a whole cut must hold.
  std::string stream;
  int want = 0;
  bool leadingInfo = false;
  for (std::size_t i = 0; i < made.Parts.size(); ++i) {
    const int frames = Probe(made.Parts[i]).Frames;
    ASSERT_GT(frames, 100) << kind.Name << ": ffprobe read " << frames << " frames of " << made.Parts[i];
    const std::string part = FramesOnly(Slurp(made.Parts[i]));
    const bool info = StartsWithInfoFrame(part);
    if (i == 0) leadingInfo = info;
    want += frames + (info ? 1 : 0);
    stream += part;
  }
  row.CountWant = want;
  // lame picks a lower sampling frequency for its lowest VBR qualities.
  const int rate = kind.Rate > 0 ? kind.Rate : Probe(made.Parts[0]).Rate;
  const int samplesPerFrame = kind.Rate > 0 ? kind.SamplesPerFrame : rate >= 32000 ? 1152 : 576;
  ASSERT_GT(rate, 0) << kind.Name;
  // The source's own delay and padding, which a cut keeps or drops.
  const TagFields source = ReadTagFields(FramesOnly(Slurp(made.Parts[0])));

  const Outcome count = Cut({"count", made.Path});
  EXPECT_EQ(count.Status, 0) << kind.Name << ": " << count.Err;
  row.CountGot = count.Status == 0 ? std::atoi(count.Out.c_str()) : -1;
  EXPECT_EQ(row.CountGot, want) << kind.Name << ": count says " << row.CountGot << ", ffprobe's frames say "
                                << want << (leadingInfo ? " (one of them the Info frame)" : "");

  // Without --any-bitrate only frames within a byte of the first audio
  // frame's length are copied: all of a CBR file's; of a VBR file's, the Info
  // frame (frame 0 goes with the audio it describes) and the frames of the
  // first audio frame's bit rate, whose lengths ffprobe reads.
  int copyable = want;
  std::vector<Packet> packets;
  if (kind.Vbr) {
    packets = Packets(made.Path);
    ASSERT_FALSE(packets.empty()) << kind.Name;
    const std::int64_t first = packets[0].Size;
    copyable = leadingInfo ? 1 : 0;
    for (const Packet& packet : packets) copyable += std::abs(packet.Size - first) <= 1;
    ASSERT_LT(copyable, want) << kind.Name << ": the file holds one bit rate, so it is no VBR file";
  }
  const Outcome info = Cut({"info", made.Path});
  EXPECT_TRUE(Contains(info.Out, "\nFrames: " + std::to_string(want) + "\n")) << kind.Name << ":\n"
                                                                              << info.Out;
  EXPECT_TRUE(Contains(info.Out, "\nCopyable: " + std::to_string(copyable) + "\n"))
      << kind.Name << ": " << copyable << " frames are copyable\n"
      << info.Out;

  Args options;
  if (kind.Vbr) {
    // Under the window's rule (--one-bitrate), frames left out must be said,
    // so a partial cut is never taken for a whole one.
    const std::string out = w.Path("left-out.mp3");
    const Outcome r = Cut({"cut", "--one-bitrate", "--no-tags", "-o", out, made.Path});
    const std::string leftOut = std::to_string(want - copyable) + " of " + std::to_string(want) + " frames";
    const bool said = copyable == want
                          ? r.Status == 0
                          : r.Status == 1 && Contains(r.Err, leftOut) && Contains(r.Err, "were not copied");
    // What it did copy is audio: the frames of the first audio frame's bit
    // rate, not the Info frame alone. (Read by size: ffmpeg cannot read a file
    // of one frame.)
    const std::int64_t tagFrame =
        leadingInfo ? packets[0].Position - static_cast<std::int64_t>(LeadingTagsLength(Slurp(made.Path)))
                    : 0;
    std::int64_t audioBytes = 0;
    for (const Packet& packet : packets)
      audioBytes += std::abs(packet.Size - packets[0].Size) <= 1 ? packet.Size : 0;
    row.LeftOut = !said ? "exit " + std::to_string(r.Status) + (r.Err.empty() ? ", silent" : "") : "reported";
    EXPECT_TRUE(said) << kind.Name << ": a whole cut with --one-bitrate leaves out " << leftOut
                      << "; it exited " << r.Status << " and said:\n"
                      << r.Err;
    // A run that left frames out did not do what it was asked: no output.
    EXPECT_FALSE(std::filesystem::exists(out)) << kind.Name << ": " << tagFrame + audioBytes << " bytes were cut";
    if (!OffersAnyBitRate()) {
      row.Cells[0] = row.Cells[1] = row.Cells[2] = "skip";
      GTEST_SKIP() << kind.Name << ": kerfwell-cut has no --any-bitrate, so a VBR file cannot be cut whole";
    }
    options.push_back("--any-bitrate");
  }

  const Range ranges[] = {
      {"whole", 0, want - 1, true},
      {"middle third", want / 3, 2 * want / 3 - 1, false},
      {"first half", 0, want / 2 - 1, false},
  };
  bool allPassed = row.CountGot == want;
  std::string faultSeen;
  for (int c = 0; c < 3; ++c) {
    const Range& range = ranges[c];
    const std::string label = std::string(kind.Name) + ", " + range.Name + " cut (frames " +
                              std::to_string(range.Start) + "-" + std::to_string(range.Stop) + ")";
    const char* fault = KnownFault(kind.Id, range.Name);
    std::vector<std::string> failed;
    const auto check = [&](bool ok, const char* what, const std::string& detail) {
      if (ok) return;
      failed.push_back(what);
      if (fault) {
        faultSeen += label + ": " + detail + "\n";
      } else {
        ADD_FAILURE() << label << ": " << detail;
      }
    };

    const std::string out = w.Path("cut-" + std::to_string(c) + ".mp3");
    // The frames alone, compared byte for byte with the file's.
    Args args = {"cut", "--no-tags"};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {"-o", out,
                             range.Whole ? made.Path
                                         : made.Path + "@" + std::to_string(range.Start) + "f-" +
                                               std::to_string(range.Stop) + "f"});
    const Outcome r = Cut(args);
    // A Layer III range that starts after the first frame is told, on a line
    // of its own, that its first frames decode damaged (the bit reservoir):
    // said, not a failure.
    std::string said;
    std::istringstream lines(r.Err);
    for (std::string line; std::getline(lines, line);)
      if (line.find("frames will decode damaged") == std::string::npos) said += line + "\n";
    check(r.Status == 0 && said.empty(), "exit",
          "exited " + std::to_string(r.Status) + " and said:\n" + r.Err);

    // Which Info frame leads the output, and so is no audio to a decoder:
    // the file's own, kept when the cut starts with it; or, for frames of
    // several bit rates, a fresh Xing frame that --any-bitrate puts in front.
    const std::string bytes = Slurp(out);
    const int held = range.Stop - range.Start + 1;
    const bool own = range.Start == 0 && leadingInfo;
    const bool fresh = kind.Vbr && !own;
    check(StartsWithInfoFrame(bytes) == (own || fresh), "info",
          std::string("the output should ") + (own || fresh ? "" : "not ") + "start with " +
              (own     ? "the file's Info frame"
               : fresh ? "a fresh Xing frame"
                       : "an Info frame"));
    const Probed probed = Probe(out);
    const int read = probed.Frames;
    const int audible = held - (own ? 1 : 0);
    check(read == audible, "frames",
          "ffprobe read " + std::to_string(read) + " frames, the cut holds " + std::to_string(held) +
              (own ? " with the Info frame" : ""));

    const std::string errors = DecoderErrors(out);
    check(errors.empty(), "decode", "the decoder complained:\n" + errors);
    const std::string mpg123 = Mpg123Errors(out, range.Start <= 1);
    check(mpg123.empty(), "mpg123", "mpg123 complained:\n" + mpg123);

    // The tag frame in front tells the truth about the output: its frames and
    // bytes, the delay only from the source's first audio frame, the padding
    // only to its last, both CRCs.
    if (own || fresh) {
      const TagFields t = ReadTagFields(bytes);
      std::ostringstream wrong;
      const long audioFrames = held - (own ? 1 : 0);
      if (t.Frames >= 0 && t.Frames != audioFrames) wrong << " frames " << t.Frames << " not " << audioFrames;
      if (t.Bytes >= 0 && t.Bytes != static_cast<long>(bytes.size()))
        wrong << " bytes " << t.Bytes << " not " << bytes.size();
      if (t.Lame && own) {
        const int delay = source.Delay, padding = range.Stop == want - 1 ? source.Padding : 0;
        if (t.Delay != delay) wrong << " delay " << t.Delay << " not " << delay;
        if (t.Padding != padding) wrong << " padding " << t.Padding << " not " << padding;
        if (t.MusicLength != static_cast<long>(bytes.size()))
          wrong << " music length " << t.MusicLength << " not " << bytes.size();
        const unsigned music = Crc16(bytes, t.FrameLength, bytes.size());
        if (t.MusicCrc != music) wrong << " music CRC " << t.MusicCrc << " not " << music;
        if (t.TagCrc != Crc16(bytes, 0, t.TagCrcAt)) wrong << " tag CRC";
      }
      check(t.Present && wrong.str().empty(), "tag", "its Xing/LAME fields are false:" + wrong.str());
    }

    // Players show ffprobe's duration: it must be the length of the frames
    // that are there, which a stale Info frame belies. Both count whole
    // frames; encoder delay and padding are trimmed only in decoding. With an
    // Info frame in front the duration is its frame count, so it must be
    // exact; without one it is estimated from the size and the bit rate.
    const double frame = static_cast<double>(samplesPerFrame) / rate;
    const double duration = probed.Duration, length = read * frame;
    const double slack = (own || fresh ? 0.0 : frame) + 1e-5;  // ffprobe prints microseconds
    std::ostringstream lengths;
    lengths << std::fixed << std::setprecision(6) << "ffprobe says " << duration << " s, its " << read
            << " frames last " << length << " s";
    if (const int declared = DeclaredFrames(bytes); declared >= 0)
      lengths << "; its Info frame declares " << declared << " frames";
    check(std::fabs(duration - length) <= slack, "length", lengths.str());

    // The frames come byte for byte from the file's frames, in one piece.
    // The file's own Info frame may have been rewritten; a fresh one is left
    // out of the comparison: the copy starts at the first sync byte behind
    // which the output is the file's.
    const std::size_t skip = 2048;  // longer than any frame
    bool same = false;
    if (own) {
      same = bytes.size() > skip && bytes.size() <= stream.size() && bytes.compare(0, 4, stream, 0, 4) == 0 &&
             bytes.compare(skip, std::string::npos, stream, skip, bytes.size() - skip) == 0 &&
             (!range.Whole || bytes.size() == stream.size());
    } else if (fresh) {
      for (std::size_t k = 4; k < std::min(bytes.size(), skip) && !same; ++k)
        same =
            static_cast<unsigned char>(bytes[k]) == 0xFF && stream.find(bytes.substr(k)) != std::string::npos;
    } else {
      same = !bytes.empty() && stream.find(bytes) != std::string::npos;
    }
    check(same, "bytes",
          std::to_string(bytes.size()) + " bytes that are not the file's frames " +
              (range.Whole ? "(all " + std::to_string(stream.size()) + " bytes of them)" : "in one piece"));

    // Counted again, the output has exactly the frames of the cut, and the
    // fresh Xing frame, itself a frame of the stream.
    const Outcome again = Cut({"count", out});
    const int recount = again.Status == 0 ? std::atoi(again.Out.c_str()) : -1;
    const int frames = held + (fresh ? 1 : 0);
    check(recount == frames, "recount",
          "the output counts " + std::to_string(recount) + " frames, not " + std::to_string(frames) + "\n" +
              again.Err);

    std::string cell;
    for (const std::string& f : failed) cell += (cell.empty() ? "" : "+") + f;
    row.Cells[c] = cell.empty() ? "ok" : cell;
    allPassed = allPassed && failed.empty();
    if (c == 0) row.WholeKeptAndClean = read == audible && same && errors.empty();
    if (c == 2)
      row.HalfHonest = read > 0 && std::find(failed.begin(), failed.end(), "length") == failed.end();
    if (fault && !failed.empty()) faultSeen = std::string("known fault: ") + fault + "\n" + faultSeen;
  }
  row.AllPassed = allPassed && (!kind.Vbr || row.LeftOut == "reported");
  if (!faultSeen.empty()) GTEST_SKIP() << faultSeen;
}

// Files that hold no stream we cut: refused by count and by cut, which
// writes nothing. The detail names a stream of a kind that is not cut.
struct NotCut {
  const char* Id;
  const char* Name;
  const char* Detail;  // what the refusal must name, "" for none
  std::function<bool(const Workshop&, const std::string&)> Make;
};

void PrintTo(const NotCut& file, std::ostream* os) { *os << file.Name; }

const std::vector<NotCut>& NotCuts() {
  static const std::vector<NotCut> files = {
      {"Png", "a PNG picture (random pixels)", "",
       [](const Workshop& w, const std::string& path) {
         return w.Tool({"convert", "-size", "300x300", "xc:", "-seed", "5", "+noise", "Random", "-depth", "8",
                        "png:" + path});
       }},
      {"Wav", "a WAV file (sox)", "",
       [](const Workshop& w, const std::string& path) {
         std::filesystem::copy_file(w.Wav(44100), path);
         return true;
       }},
      {"Random", "2 MiB of random bytes", "",
       [](const Workshop&, const std::string& path) {
         std::string bytes(2u << 20, '\0');
         unsigned x = 2024;
         for (char& c : bytes) {
           x = x * 1664525u + 1013904223u;
           c = static_cast<char>(x >> 24);
         }
         std::ofstream(path, std::ios::binary) << bytes;
         return true;
       }},
      {"Mpeg25", "lame 32k MPEG 2.5 8 kHz", "MPEG 2.5",
       [](const Workshop& w, const std::string& path) {
         return w.Tool({"lame", "--silent", "--resample", "8", "-b", "32", w.Wav(44100), path});
       }},
      {"FreeFormat", "lame --freeformat 640k", "free format",
       [](const Workshop& w, const std::string& path) {
         return w.Tool({"lame", "--silent", "--freeformat", "-b", "640", w.Wav(44100), path});
       }},
  };
  return files;
}

// RealFile's scratch folder and tools, for one NotCut row.
class NoAudio : public testing::TestWithParam<NotCut> {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-real-XXXXXX").string();
    dir_ = ::mkdtemp(tmpl.data());
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  Outcome Cut(const Args& args) const {
    Args all = {CutBinary()};
    all.insert(all.end(), args.begin(), args.end());
    return Spawn(all, dir_);
  }
  std::string dir_;
};

TEST_P(NoAudio, IsRefusedAndNothingIsWritten) {
  const NotCut& file = GetParam();
  Table().push_back(Figures{file.Name});
  Figures& row = Table().back();
  const Workshop w(dir_);
  const std::string path = w.Path("input.mp3");
  ASSERT_TRUE(file.Make(w, path)) << file.Name << ": the file could not be made";

  const Outcome count = Cut({"count", path});
  const bool refused = count.Status == 1 && Contains(count.Err, "Is Something Strange With This File !");
  const bool named = Contains(count.Err, file.Detail);
  row.CountCell = refused ? (named ? "refused" : "refused, no detail")
                          : "exit " + std::to_string(count.Status) + ": " +
                                count.Out.substr(0, count.Out.find('\n')) + " frames";
  EXPECT_TRUE(refused) << file.Name << ": count exited " << count.Status << " with " << count.Out
                       << count.Err;
  EXPECT_TRUE(named) << file.Name << ": the refusal does not name \"" << file.Detail << "\":\n" << count.Err;

  const std::string out = w.Path("out.mp3");
  const Outcome cut = Cut({"cut", "--any-bitrate", "-o", out, path});
  const bool written = std::filesystem::exists(out);
  row.Cells[0] = cut.Status != 0 && !written
                     ? "no output"
                     : "exit " + std::to_string(cut.Status) + ", " +
                           (written ? std::to_string(std::filesystem::file_size(out)) : "0") +
                           " bytes written";
  EXPECT_NE(cut.Status, 0) << file.Name << ": cut exited 0";
  EXPECT_FALSE(written) << file.Name << ": cut wrote " << out;
  row.AllPassed = refused && named && cut.Status != 0 && !written;
  row.WholeKeptAndClean = row.HalfHonest = row.AllPassed;  // nothing to keep: refusing is right
}

INSTANTIATE_TEST_SUITE_P(Files, NoAudio, testing::ValuesIn(NotCuts()),
                         [](const testing::TestParamInfo<NotCut>& row) { return std::string(row.param.Id); });

INSTANTIATE_TEST_SUITE_P(Kinds, RealFile, testing::ValuesIn(Kinds()),
                         [](const testing::TestParamInfo<Kind>& row) { return std::string(row.param.Id); });

}  // namespace
