// Tags written with TagLib, read back by ffprobe, with the audio untouched.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "AlbumFixture.h"
#include "album/TagWriter.h"

namespace {

using albumtest::Shell;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What ffprobe makes of the file's tags ("TAG:title=..." lines) and streams.
std::string Probe(const std::string& path) {
  return Shell("ffprobe -v error -show_entries format_tags:stream=codec_type:stream_disposition=attached_pic "
               "-of default=nw=1 '" + path + "'");
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class TagWriting : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = albumtest::TempDir();
    // A file as a tagger leaves it: ID3v2.3 with a cover in front, ID3v1 behind.
    const std::string make =
        "cd '" + dir_ + "' && ffmpeg -v error -f lavfi -i color=red:s=16x16 -frames:v 1 cover.jpg && "
        "sox -n -r 44100 -c 2 -b 16 t.wav synth 2 sine 440 vol 0.5 && "
        "lame --quiet -b 128 --id3v2-only --tt Album-long --ta Band --tl Old --ty 1999 --tc 'keep me' "
        "--ti cover.jpg t.wav in.mp3 && lame --quiet -b 128 t.wav plain.mp3";
    int status = -1;
    Shell(make + " 2>&1", &status);
    ASSERT_EQ(status, 0);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string dir_;
};

TEST_F(TagWriting, SetsTheFieldsKeepsTheOthersAndTheCoverAndLeavesTheAudioAlone) {
  const std::string path = dir_ + "/in.mp3";
  const std::string before = Slurp(path);
  std::string error;
  ASSERT_TRUE(WriteTags(path,
                        {{"title", "Zwei: \"Über\""}, {"artist", "Guest"}, {"album", "Five Tones"},
                         {"track", "2/5"}, {"date", "2024"}, {"genre", "Test Tones"}, {"album", "Five Tones!"}},
                        error))
      << error;
  const std::string tags = Probe(path);
  for (const char* line : {"TAG:title=Zwei: \"Über\"\n", "TAG:artist=Guest\n", "TAG:album=Five Tones!\n",
                           "TAG:track=2/5\n", "TAG:date=2024\n", "TAG:genre=Test Tones\n", "TAG:comment=keep me\n",
                           "DISPOSITION:attached_pic=1\n"})
    EXPECT_TRUE(Has(tags, line)) << line << " in\n" << tags;
  const std::string after = Slurp(path);
  EXPECT_EQ(after.substr(0, 4), std::string("ID3\x03", 4)) << "lame's ID3v2.3 tag stays 2.3";
  // The audio is what followed the old tag, byte for byte.
  auto tagEnd = [](const std::string& f) {
    const auto b = [&f](int i) { return static_cast<std::size_t>(static_cast<unsigned char>(f[static_cast<std::size_t>(i)])); };
    return 10 + (b(6) << 21 | b(7) << 14 | b(8) << 7 | b(9));
  };
  std::size_t newAudio = tagEnd(after);
  while (newAudio < after.size() && after[newAudio] == '\0') ++newAudio;  // TagLib's padding
  EXPECT_EQ(after.substr(newAudio), before.substr(tagEnd(before)));

  // An empty value removes a field.
  ASSERT_TRUE(WriteTags(path, {{"comment", ""}}, error)) << error;
  EXPECT_FALSE(Has(Probe(path), "TAG:comment=")) << Probe(path);
  EXPECT_TRUE(Has(Probe(path), "TAG:title=Zwei")) << Probe(path);
}

TEST_F(TagWriting, AnUntaggedFileGetsATagInFrontAndAnId3v1TagIsKeptInStep) {
  const std::string path = dir_ + "/plain.mp3";
  const std::string audio = Slurp(path);
  ASSERT_NE(audio.substr(0, 3), "ID3");
  // lame's Info frame starts the file; a tag goes in front of it.
  std::string error;
  ASSERT_TRUE(WriteTags(path, {{"title", "New"}, {"track", "3"}}, error)) << error;
  const std::string after = Slurp(path);
  EXPECT_EQ(after.substr(0, 3), "ID3");
  EXPECT_EQ(after.substr(after.size() - audio.size()), audio);
  EXPECT_TRUE(Has(Probe(path), "TAG:title=New\n")) << Probe(path);

  // A file that ends with an ID3v1 tag gets the fields there too.
  { std::ofstream(path, std::ios::app | std::ios::binary) << std::string("TAG") + std::string(30, 'x') + std::string(95, '\0'); }
  ASSERT_TRUE(WriteTags(path, {{"title", "Short"}}, error)) << error;
  const std::string v1 = Slurp(path).substr(Slurp(path).size() - 128);
  EXPECT_EQ(v1.substr(0, 8), std::string("TAGShort", 8));
  EXPECT_EQ(v1[8], '\0');
}

// One ID3v2.3 frame: ID, plain 32-bit size, no flags.
std::string Frame23(const std::string& id, const std::string& body) {
  const std::size_t n = body.size();
  return id + std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                          static_cast<char>(n), 0, 0} + body;
}

// A tag of ID3v2.3 keeps its version and every frame, those that TagLib
// cannot carry to 2.4 too (their bytes unchanged).
TEST_F(TagWriting, AnId3v23TagKeepsItsVersionAndEveryFrame) {
  const std::string kept[] = {
      Frame23("RVAD", std::string("\x03\x10\x01\x00\x02\x00", 6)),
      Frame23("EQUA", std::string("\x10\x00\x40\x00\x05", 5)),
      Frame23("TSIZ", std::string("\x00" "123456", 7)),
      Frame23("TPE1", std::string("\x00" "Band", 5)),
  };
  std::string frames = Frame23("TIT2", std::string("\x00" "Old", 4));
  for (const std::string& f : kept) frames += f;
  const std::size_t n = frames.size();
  const std::string tag = std::string("ID3\x03\x00\x00", 6) +
                          std::string{static_cast<char>(n >> 21 & 0x7F), static_cast<char>(n >> 14 & 0x7F),
                                      static_cast<char>(n >> 7 & 0x7F), static_cast<char>(n & 0x7F)} +
                          frames;
  const std::string path = dir_ + "/v23.mp3";
  std::ofstream(path, std::ios::binary) << tag << Slurp(dir_ + "/plain.mp3");
  std::string error;
  ASSERT_TRUE(WriteTags(path, {{"title", "Neu ★"}, {"album", "LP"}}, error)) << error;
  const std::string after = Slurp(path);
  EXPECT_EQ(after.substr(0, 4), std::string("ID3\x03", 4));
  for (const std::string& f : kept) EXPECT_TRUE(Has(after, f)) << f.substr(0, 4);
  const std::string tags = Probe(path);
  for (const char* line : {"TAG:title=Neu ★\n", "TAG:album=LP\n", "TAG:artist=Band\n"})
    EXPECT_TRUE(Has(tags, line)) << line << " in\n" << tags;
}

TEST(TagEdits, KeysAndRefusals) {
  TagEdit e;
  std::string error;
  ASSERT_TRUE(ParseTagEdit("comment=a=b", e, error));
  EXPECT_EQ(e.Key, "comment");
  EXPECT_EQ(e.Value, "a=b");
  ASSERT_TRUE(ParseTagEdit("title=", e, error));
  EXPECT_EQ(e.Value, "");
  for (const char* bad : {"title", "Title=x", "composer=x", "=x", ""}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseTagEdit(bad, e, error));
    EXPECT_NE(error.find("KEY=VALUE"), std::string::npos);
  }
  // Values are UTF-8: Latin-1, a sequence cut short, an overlong form, a
  // surrogate half.
  for (const char* bad : {"title=Caf\xE9", "artist=\xE2\x82", "album=\xC0\xAF", "genre=\xED\xA0\x80"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseTagEdit(bad, e, error));
    EXPECT_NE(error.find("not valid UTF-8"), std::string::npos) << error;
  }
  EXPECT_TRUE(ParseTagEdit("title=Añoranza ★ \xF0\x9F\x8E\xB5", e, error)) << error;
  const std::string dir = albumtest::TempDir();
  EXPECT_FALSE(WriteTags(dir + "/missing.mp3", {{"title", "x"}}, error));
  EXPECT_NE(error.find("missing.mp3"), std::string::npos);
  std::filesystem::remove_all(dir);
}

}  // namespace
