// Albums and folders from the command line: split by CUE sheet and by
// silence, tags written on pieces and cuts, cut --each, stops from the end.
// Real decoders judge: ffmpeg decodes every result without an error line and
// gives its length; ffprobe reads the tags back.

#include <cmath>
#include <sstream>

#include "../album/AlbumFixture.h"
#include "CliRunner.h"
#include "cli/SplitSources.h"

namespace {

using namespace clitest;

// Layer III time cuts and split pieces play exactly their samples: both
// decoders must give exactly the expected count.
constexpr std::int64_t kRate = 44100;

std::int64_t Samples(double seconds) { return static_cast<std::int64_t>(seconds * kRate + 0.5); }

// Sample frames that ffmpeg and mpg123 decode; -1 when either printed an
// error or they disagree.
std::int64_t DecodedSamples(const std::string& path) {
  const std::string err = Shell("ffmpeg -v error -i '" + path + "' -f s16le -ac 2 -ar 44100 - 2>&1 >/dev/null");
  const std::string mpgErr = Shell("mpg123 -q -s '" + path + "' 2>&1 >/dev/null");
  if (!err.empty() || !mpgErr.empty()) return -1;
  const long long ff =
      std::atoll(Shell("ffmpeg -v quiet -i '" + path + "' -f s16le -ac 2 -ar 44100 - | wc -c").c_str()) / 4;
  const long long mpg = std::atoll(Shell("mpg123 -q -s '" + path + "' | wc -c").c_str()) / 4;
  return ff == mpg ? ff : -1;
}

std::string Tags(const std::string& path) {
  return Shell("ffprobe -v error -show_entries format_tags:stream_disposition=attached_pic -of default=nw=1 '" +
               path + "'");
}

double Seconds(const std::string& time) {  // "h:mm:ss.fff"
  int h = 0, m = 0;
  double s = 0;
  std::sscanf(time.c_str(), "%d:%d:%lf", &h, &m, &s);
  return h * 3600 + m * 60 + s;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class CliAlbum : public CliRun {
 protected:
  static void SetUpTestSuite() {
    album_ = albumtest::TempDir();
    made_ = albumtest::MakeAlbum(album_);
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(album_); }
  void SetUp() override {
    CliRun::SetUp();
    ASSERT_TRUE(made_);
  }
  static std::string Album(const std::string& name) { return album_ + "/" + name; }
  static std::string album_;
  static bool made_;
};
std::string CliAlbum::album_;
bool CliAlbum::made_ = false;

class CliAlbumEncodings : public CliAlbum, public testing::WithParamInterface<const char*> {};

TEST_P(CliAlbumEncodings, CueSplitNamesTagsAndCutsEveryTrack) {
  const std::string in = Album(GetParam());
  // The input's own tags: kept on every piece where the sheet says nothing.
  ASSERT_EQ(Exec({"cut", "--any-bitrate", "--tag", "comment=ripped", "--tag", "title=Whole",
                  "-o", Path("album.mp3"), in})
                .Status,
            0);
  const Outcome r = Exec({"split", "--cue", Album("album.cue"), "--any-bitrate", "-d", Path("out"),
                          Path("album.mp3")});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const char* names[] = {"01 - A Four Forty.mp3", "02 - Über_Zwei.mp3", "03 - Drei_ _Quoted_.mp3",
                         "04 - Four.mp3", "05 - Track 05.mp3"};
  const char* titles[] = {"A Four Forty", "Über/Zwei", "Drei: \"Quoted\"", "Four", "Track 05"};
  const std::vector<std::string> printed = Lines(r.Out);
  ASSERT_EQ(printed.size(), 5u) << r.Out;
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(names[i]);
    const std::string piece = Path("out/") + names[i];
    ASSERT_TRUE(std::filesystem::exists(piece));
    const double expected = (i < 4 ? albumtest::kTrackStarts[i + 1] : albumtest::kAlbumSeconds) -
                            albumtest::kTrackStarts[i];
    EXPECT_EQ(DecodedSamples(piece), Samples(expected));
    const std::string t = Tags(piece);
    for (const std::string& line :
         {"TAG:title=" + std::string(titles[i]), std::string("TAG:artist=") + (i == 1 ? "Guest Sine" : "The Sines"),
          std::string("TAG:album=Five Tones"), "TAG:track=" + std::to_string(i + 1) + "/5",
          std::string("TAG:date=2024"), std::string("TAG:genre=Test Tones"), std::string("TAG:comment=ripped")})
      EXPECT_TRUE(Contains(t, line + "\n")) << line << " in\n" << t;
    // The line printed for the piece names it, its frames and its length.
    const std::string& line = printed[static_cast<std::size_t>(i)];
    EXPECT_TRUE(Contains(line, piece + ": frames ")) << line;
    char length[32];
    std::snprintf(length, sizeof length, " frames, 0:00:%06.3f)", expected);
    EXPECT_TRUE(Contains(line, length)) << line << " lacks" << length;
  }
}

// A first track after a pregap starts at its INDEX 01 (the pregap is left
// out), and --dry-run lists the tracks as the pieces will be.
TEST_P(CliAlbumEncodings, CueFirstTrackStartsAfterItsPregapAndDryRunListsTheTracks) {
  const std::string in = Album(GetParam());
  std::ofstream(Path("p.cue")) << "FILE \"x.wav\" WAVE\r  TRACK 01 AUDIO\r    TITLE \"A\"\r    INDEX 00 00:00:00\r"
                                  "    INDEX 01 00:02:00\r  track 02 audio\r    title \"B\"\r    index 01 00:11:00\r";
  Outcome r = Exec({"split", "--cue", Path("p.cue"), "--dry-run", "-d", Path("out"), in});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "01\tA\t0:00:02.000\t0:00:09.000\n02\tB\t0:00:11.000\t0:00:19.000\n");
  EXPECT_FALSE(std::filesystem::exists(Path("out")));
  r = Exec({"split", "--cue", Path("p.cue"), "--any-bitrate", "-q", "-d", Path("out"), in});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(DecodedSamples(Path("out/01 - A.mp3")), Samples(9));
  EXPECT_EQ(DecodedSamples(Path("out/02 - B.mp3")), Samples(albumtest::kAlbumSeconds - 11));
}

TEST_P(CliAlbumEncodings, SilenceSplitFindsTheTrackBoundaries) {
  const std::string in = Album(GetParam());
  Outcome r = Exec({"split", "--silence", "--dry-run", "--min-length", "3", "-d", Path("dry"), in});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::vector<std::string> points = Lines(r.Out);
  ASSERT_EQ(points.size(), 4u) << r.Out;
  for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(Seconds(points[i]), albumtest::kTrackStarts[i + 1], 0.1) << points[i];
  EXPECT_FALSE(std::filesystem::exists(Path("dry")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(album_), std::filesystem::directory_iterator()), 3);

  // The pieces are those of the same points given by hand.
  r = Exec({"split", "--silence", "--min-length", "3", "--any-bitrate", "-q", "-d", Path("silence"), in});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "");  // -q: not even the pieces' lengths
  std::vector<std::string> args{"split", "--any-bitrate", "-q", "-d", Path("points"), in};
  args.insert(args.end(), points.begin(), points.end());
  ASSERT_EQ(Exec(args).Status, 0);
  const std::string stem = std::filesystem::path(in).stem().string();
  std::int64_t total = 0;
  for (int i = 1; i <= 5; ++i) {
    const std::string name = "/" + stem + "_0" + std::to_string(i) + ".mp3";
    EXPECT_TRUE(Slurp(Path("silence") + name) == Slurp(Path("points") + name)) << name;
    const std::int64_t samples = DecodedSamples(Path("silence") + name);
    EXPECT_NEAR(static_cast<double>(samples) / kRate,
                (i < 5 ? albumtest::kTrackStarts[i] : albumtest::kAlbumSeconds) - albumtest::kTrackStarts[i - 1], 0.2)
        << name;
    total += samples;
  }
  // Back to back the pieces are the whole album.
  EXPECT_EQ(total, Samples(albumtest::kAlbumSeconds));
  // With the default 10 s minimum, short pieces join their neighbours.
  r = Exec({"split", "--silence", "--dry-run", in});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(Lines(r.Out).size(), 1u) << r.Out;
  // A threshold above the tones hears no boundary at all: one piece would be
  // a copy of the input, so nothing is written.
  // A dry run fails as the run would.
  r = Exec({"split", "--silence", "--dry-run", "--threshold", "-3dB", "--min-length", "1", in});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, "");
  EXPECT_TRUE(Contains(r.Err, "no silence of at least 1.5 s at or below -3 dBFS")) << r.Err;
  r = Exec({"split", "--silence", "--threshold", "-3", "-d", Path("none"), in});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "no silence of at least 1.5 s at or below -3 dBFS")) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(Path("none")));
}

// The loudest sample of the first (or last) 0.3 s of a file, from 0 to 1.
double EdgePeak(const std::string& path, bool last) {
  return std::atof(Shell("ffmpeg -v error -i '" + path + "' -f wav - | sox -t wav - -n " +
                         (last ? "reverse " : "") + "trim 0 0.3 stat 2>&1 | awk '/Maximum amplitude/{print $3}'")
                       .c_str());
}

// The silences are found on the split's own clock: frames of another
// sampling frequency in the middle take as long on it as the split counts
// them, and a damaged stretch is read past as a cut reads past it.
TEST_F(CliAlbum, SilencesAreFoundOnTheSplitsClock) {
  int status = -1;
  Shell("cd '" + Path(".") + "' && ffmpeg -v error -i '" + Album("album-cbr.mp3") +
            "' a.wav && sox a.wav h1.wav trim 0 8 && sox a.wav h2.wav trim 8 && "
            "sox -n -r 22050 -c 2 -b 16 b.wav synth 3 sine 300 vol 0.5 && "
            "for f in h1 h2 b; do lame --quiet -t -b 128 $f.wav $f.mp3; done && "
            "cat h1.mp3 b.mp3 h2.mp3 > mixed.mp3 && cp '" + Album("album-cbr.mp3") + "' damaged.mp3 && "
            "dd if=/dev/zero of=damaged.mp3 bs=1 seek=230000 count=4000 conv=notrunc status=none 2>&1",
        &status);
  ASSERT_EQ(status, 0);
  // Each piece begins and ends in a silence.
  Outcome r = Exec({"split", "--silence", "--min-length", "3s", "-q", "-d", Path("mixed"), Path("mixed.mp3")});
  // The frames of the other sampling frequency cannot join the pieces'
  // stream: they are left out, and said to be.
  EXPECT_EQ(r.Status, 1) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "frames were not copied: their MPEG version differs")) << r.Err;
  for (int i = 1; i <= 5; ++i) {
    const std::string piece = Path("mixed/mixed_0" + std::to_string(i) + ".mp3");
    ASSERT_TRUE(std::filesystem::exists(piece)) << piece;
    EXPECT_LT(EdgePeak(piece, false), 0.01) << piece;
    EXPECT_LT(EdgePeak(piece, true), 0.01) << piece;
  }
  EXPECT_FALSE(std::filesystem::exists(Path("mixed/mixed_06.mp3")));
  r = Exec({"split", "--silence", "--dry-run", "--min-length", "3s", Path("damaged.mp3")});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::vector<std::string> points = Lines(r.Out);
  ASSERT_EQ(points.size(), 4u) << r.Out;
  for (std::size_t i = 0; i < 4; ++i)
    EXPECT_NEAR(Seconds(points[i]), albumtest::kTrackStarts[i + 1], 0.35) << points[i];
}

INSTANTIATE_TEST_SUITE_P(CbrAndVbr, CliAlbumEncodings, testing::Values("album-cbr.mp3", "album-vbr.mp3"));

TEST_F(CliAlbum, SheetsThatCannotSplitTheFileWriteNothing) {
  const std::string in = Album("album-cbr.mp3");
  struct Case {
    const char* name;
    std::string sheet;
    const char* message;
  } cases[] = {
      {"two FILE lines", "FILE \"a.wav\" WAVE\n TRACK 01 AUDIO\n INDEX 01 00:00:00\nFILE \"b.wav\" WAVE\n"
                         " TRACK 02 AUDIO\n INDEX 01 00:00:00\n", "names 2 files"},
      {"no TRACK", "TITLE \"Empty\"\nFILE \"a.wav\" WAVE\n", "holds no TRACK"},
      {"frames field 75", "FILE \"a.wav\" WAVE\n TRACK 01 AUDIO\n INDEX 01 00:00:75\n", "frames 00 to 74"},
      {"a track after the end of the file",
       "FILE \"a.wav\" WAVE\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n TRACK 02 AUDIO\n INDEX 01 01:00:00\n",
       "is not before the end"},
      {"two tracks of one title", "FILE \"a.wav\" WAVE\n TRACK 01 AUDIO\n TITLE \"Same\"\n INDEX 01 00:00:00\n"
                                  " TRACK 02 AUDIO\n TITLE \"Same\"\n INDEX 01 00:10:00\n", "two pieces would have"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(Path("s.cue")) << c.sheet;
    const Outcome r = Exec({"split", "--cue", Path("s.cue"), "--name", "{title}", "-d", Path("out"), in});
    EXPECT_EQ(r.Status, 1);
    EXPECT_TRUE(Contains(r.Err, c.message)) << r.Err;
    EXPECT_FALSE(std::filesystem::exists(Path("out")));
  }
  // The FILE line is not held against the input; frames field 74 is fine, and
  // {n} with other fields names the pieces.
  std::ofstream(Path("s.cue")) << "FILE \"rip.flac\" WAVE\n TRACK 01 AUDIO\n INDEX 01 00:00:00\n"
                                  " TRACK 02 AUDIO\n TITLE \"B\"\n INDEX 01 00:10:74\n";
  const Outcome r = Exec({"split", "--cue", Path("s.cue"), "--name", "{path-stem}-{n:03}-{title}", "-d",
                          Path("out"), in});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(std::filesystem::exists(Path("out/album-cbr-001-Track 01.mp3")));
  EXPECT_EQ(DecodedSamples(Path("out/album-cbr-002-B.mp3")), Samples(albumtest::kAlbumSeconds - (10 + 74.0 / 75)));
}

TEST_F(CliAlbum, SplitTagsNumberThePiecesAndTagOptionsFillInTheNumber) {
  const std::string in = Data("tagged.mp3");
  Outcome r = Exec({"split", "--tags", "--every", "40f", "--tag", "title=Part {n}", "-d", Path("p"), in});
  ASSERT_EQ(r.Status, 0) << r.Err;
  for (int i = 1; i <= 3; ++i) {
    const std::string t = Tags(Path("p/tagged_0" + std::to_string(i) + ".mp3"));
    EXPECT_TRUE(Contains(t, "TAG:track=" + std::to_string(i) + "/3\n")) << t;
    EXPECT_TRUE(Contains(t, "TAG:title=Part " + std::to_string(i) + "\n")) << t;
    EXPECT_TRUE(Contains(t, "TAG:artist=Test\n")) << t;  // carried over
  }
  // The length of each piece is printed as it is written: frames and the
  // time it plays.
  const std::vector<std::string> lines = Lines(r.Out);
  ASSERT_EQ(lines.size(), 3u) << r.Out;
  for (int i = 1; i <= 3; ++i) {
    const std::string piece = Path("p/tagged_0" + std::to_string(i) + ".mp3");
    const std::string& line = lines[static_cast<std::size_t>(i - 1)];
    ASSERT_TRUE(Contains(line, piece + ": frames ")) << line;
    EXPECT_NEAR(Seconds(line.substr(line.rfind(", ") + 2)), static_cast<double>(DecodedSamples(piece)) / kRate, 0.001)
        << line;
  }

  // A cut with tags: the frames are those of a cut without them.
  r = Exec({"cut", "--tag", "title=Clip", "--tag", "artist=Me", "-o", Path("clip.mp3"),
            Album("album-cbr.mp3") + "@0:05-0:11"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::string t = Tags(Path("clip.mp3"));
  EXPECT_TRUE(Contains(t, "TAG:title=Clip\n") && Contains(t, "TAG:artist=Me\n")) << t;
  ASSERT_EQ(Exec({"cut", "-o", Path("bare.mp3"), Album("album-cbr.mp3") + "@0:05-0:11"}).Status, 0);
  const std::string clip = Slurp(Path("clip.mp3")), bare = Slurp(Path("bare.mp3"));
  ASSERT_GT(clip.size(), bare.size());
  EXPECT_TRUE(clip.substr(clip.size() - bare.size()) == bare);
  EXPECT_EQ(DecodedSamples(Path("clip.mp3")), Samples(6));
}

TEST_F(CliAlbum, StopsFromTheEndCountBackFromTheDecodedAudio) {
  const std::string in = Album("album-cbr.mp3");
  Outcome r = Exec({"cut", "-o", Path("a.mp3"), in + "@0:10-end-5s"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(DecodedSamples(Path("a.mp3")), Samples(15));
  r = Exec({"cut", "-o", Path("b.mp3"), in + "@-end-0:20.5"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(DecodedSamples(Path("b.mp3")), Samples(9.5));
  r = Exec({"cut", "-o", Path("c.mp3"), in + "@25s-end"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(DecodedSamples(Path("c.mp3")), Samples(5));
  // Counting back past the start leaves nothing to cut: a usage error.
  r = Exec({"cut", "-o", Path("d.mp3"), in + "@0:10-end-25s"});
  EXPECT_EQ(r.Status, 2);
  EXPECT_TRUE(Contains(r.Err, "is not before stop")) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(Path("d.mp3")));
}

TEST_F(CliAlbum, EachJobGetsItsOwnOutputAndABadOneStopsNoOther) {
  std::filesystem::create_directory(Path("in"));
  std::filesystem::copy_file(Album("album-cbr.mp3"), Path("in/one.mp3"));
  std::ofstream(Path("in/two.mp3")) << "not audio";
  std::filesystem::copy_file(Album("album-cbr.mp3"), Path("in/three.mp3"));
  const std::vector<std::string> jobs{Path("in/one.mp3@0:05-"), Path("in/two.mp3@0:05-"),
                                      Path("in/three.mp3@0:05-")};
  std::vector<std::string> args{"cut", "--each", "-d", Path("out"), "--tag", "track={n}"};
  args.insert(args.end(), jobs.begin(), jobs.end());
  Outcome r = Exec(args);
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "two.mp3")) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "1 of 3 jobs failed")) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(Path("out/two.mp3")));
  for (const char* name : {"one", "three"}) {
    const std::string out = Path("out/") + name + ".mp3";
    EXPECT_EQ(DecodedSamples(out), Samples(25)) << name;
  }
  EXPECT_TRUE(Contains(Tags(Path("out/three.mp3")), "TAG:track=3\n"));

  // Run again: the outputs exist and are not added to.
  const std::string before = Slurp(Path("out/one.mp3"));
  r = Exec(args);
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "exists")) << r.Err;
  EXPECT_TRUE(Slurp(Path("out/one.mp3")) == before);
  // Outputs that are inputs, or that two jobs share, stop the run before it writes.
  r = Exec({"cut", "--each", "-d", Path("in"), Path("in/one.mp3@0:05-")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "would be an input")) << r.Err;
  r = Exec({"cut", "--each", "-d", Path("out2"), Path("in/one.mp3@0:05-"), Album("album-cbr.mp3"),
            Path("in/one.mp3@-0:02")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "the output of both")) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(Path("out2")));
}

TEST(CliPieceNames, FieldsAreMadeSafeAndPatternsChecked) {
  EXPECT_EQ(SafeFileName("AC/DC: \"Live\"?"), "AC_DC_ _Live__");
  EXPECT_EQ(SafeFileName("..hidden. "), "hidden");
  EXPECT_EQ(SafeFileName("tab\there"), "tab_here");
  const std::string longName = std::string(199, 'a') + "é";  // 201 bytes: the é is not cut in half
  EXPECT_EQ(SafeFileName(longName), std::string(199, 'a'));
  std::string error;
  EXPECT_TRUE(CheckNamePattern("{n:02} {performer} - {title} ({path-stem}) {album}", error)) << error;
  // Unknown fields, and a pattern whose own text leaves the folder.
  for (const char* bad : {"{nn}", "{n:2}", "{title", "{Title}", "{album}/{n}", "../x_{n}", "x..{n}", "/tmp/{n}"}) {
    EXPECT_FALSE(CheckNamePattern(bad, error)) << bad;
    EXPECT_TRUE(Contains(error, "--name")) << error;
  }
  struct Case {
    const char* pattern;
    const char* title;  // of track 2
    const char* album;
    const char* name;   // of piece 2
  } cases[] = {
      {"{n:02} {performer} - {title}", "", "LP", "02 Guest - Track 02.mp3"},
      {"{album} {title}", "../etc", "LP/1", "LP_1 _etc.mp3"},   // values are made safe
      {"{title}", "...", "", "Track 02.mp3"},                   // nothing left of the title
      {"{album}", "x", "", "Track 02.mp3"},                     // an empty name
      {"{title}", "con", "", "con_.mp3"},                       // Windows' devices, any case
      {"{title}", "LPT1.live", "", "LPT1_.live.mp3"},
      {"{title}", "Nul ", "", "Nul_.mp3"},
      {"{title}", "COM10", "", "COM10.mp3"},                    // not a device
      {"{title}-{n}", "Aux", "", "Aux-2.mp3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern + std::string(" / ") + c.title);
    SplitSource source;
    source.FromCue = true;
    source.Sheet.Title = c.album;
    source.Sheet.Tracks = {{"One", "", 0}, {c.title, "Guest", 750}};
    std::vector<SplitPiece> pieces(2);
    NamePiecesByPattern(c.pattern, "/music/rip.mp3", "out/", source, pieces);
    EXPECT_EQ(pieces[1].Path, std::string("out/") + c.name);
  }
}

// A name past 255 bytes stops the split before its first piece is written,
// though the first name is short enough.
TEST_F(CliAlbum, ANameLongerThanAFileNameMayBeWritesNothing) {
  const std::string title(150, 't');
  std::ofstream(Path("s.cue")) << "FILE \"a.wav\" WAVE\n TRACK 01 AUDIO\n TITLE \"short\"\n INDEX 01 00:00:00\n"
                                  " TRACK 02 AUDIO\n TITLE \"" + title + "\"\n INDEX 01 00:10:00\n";
  Outcome r = Exec({"split", "--cue", Path("s.cue"), "--name", "{n} {title} {title}", "-d", Path("out"),
                    Album("album-cbr.mp3")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "longer than the 255 a name may have; nothing written")) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(Path("out/1 short short.mp3")));
  r = Exec({"split", "--cue", Path("s.cue"), "--name", "../x_{n}", "-d", Path("out"), Album("album-cbr.mp3")});
  EXPECT_EQ(r.Status, 2);
  EXPECT_FALSE(std::filesystem::exists(Path("x_1.mp3")));
}

}  // namespace
