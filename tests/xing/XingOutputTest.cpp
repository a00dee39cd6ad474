// Tag frames at the front of outputs that taggers and other encoders leave
// less tidy than lame: bytes in the side information, a table of contents
// that holds sync patterns, VBRI frames, fields that do not fit. Each is made
// true or taken out, never left false.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "XingTestSupport.h"
#include "stream/XingFrame.h"

using namespace xing_test;

namespace {

Bytes Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Save(const std::string& path, const Bytes& data) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

class XingOutputs : public testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-xing-out-XXXXXX").string();
    dir_ = ::mkdtemp(tmpl.data());
    // lame's 128 kbps encode: its Info frame, then 116 audio frames.
    const Bytes source = Load(std::string(KERFWELL_TEST_DATA) + "/cbr128.mp3");
    const std::size_t tagLength = static_cast<std::size_t>(FrameLengthOf(source.data()));
    info_.assign(source.begin(), source.begin() + static_cast<long>(tagLength));
    std::size_t p = tagLength;
    for (int i = 0; i < 40; ++i) p += static_cast<std::size_t>(FrameLengthOf(&source[p]));
    audio_.assign(source.begin() + static_cast<long>(tagLength), source.begin() + static_cast<long>(p));
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  // Checks that the tag at the front of `file` tells the 40 audio frames after it.
  void ExpectTrue(const Bytes& file) {
    XingTag tag;
    ASSERT_TRUE(ParseXingTag(file.data(), file.size(), tag));
    EXPECT_EQ(tag.Frames, 40u);
    EXPECT_EQ(tag.Bytes, file.size());
    EXPECT_EQ(tag.MusicLength, file.size());
    EXPECT_EQ(tag.MusicCrc, BitwiseCrc16(file.data() + info_.size(), audio_.size()));
    EXPECT_EQ(tag.TagCrc, BitwiseCrc16(file.data(), tag.TagCrcOffset()));
  }

  std::string dir_;
  Bytes info_;   // the source's Info frame
  Bytes audio_;  // its first 40 audio frames
};

TEST_F(XingOutputs, AnInfoFrameWithBytesInItsSideInformationIsRewritten) {
  Bytes out = info_;
  out[10] = 0x5A;  // a tagger's byte in the side information
  out.insert(out.end(), audio_.begin(), audio_.end());
  Save(Path("out.mp3"), out);
  std::string message;
  ASSERT_EQ(UpdateOutputXingFrame(Path("out.mp3"), false, message), XingResult::Updated) << message;
  const Bytes updated = Load(Path("out.mp3"));
  ExpectTrue(updated);
  EXPECT_EQ(updated[10], 0x5A) << "only the tag's fields change";
}

TEST_F(XingOutputs, SyncPatternsInTheTableOfContentsDoNotMoveTheCount) {
  // A table of contents whose bytes hold headers of the stream, flagless: the
  // frames follow the tag frame's own header, not these.
  Bytes out = info_;
  XingTag tag;
  ASSERT_TRUE(ParseXingTag(out.data(), out.size(), tag));
  const std::size_t toc = tag.Offset + 16;
  for (std::size_t i = 0; i + 4 <= 100; i += 12) std::memcpy(&out[toc + i], "\xFF\xFB\x90\x00", 4);
  out.insert(out.end(), audio_.begin(), audio_.end());
  Save(Path("out.mp3"), out);
  std::string message;
  XingRewrite keep;
  keep.KeepEncoderDelay = false;
  ASSERT_EQ(UpdateOutputXingFrame(Path("out.mp3"), keep, message), XingResult::Updated) << message;
  const Bytes once = Load(Path("out.mp3"));
  ExpectTrue(once);
  ASSERT_EQ(UpdateOutputXingFrame(Path("out.mp3"), keep, message), XingResult::Updated) << message;
  EXPECT_TRUE(Load(Path("out.mp3")) == once) << "a second update changes nothing";
  ASSERT_TRUE(ParseXingTag(once.data(), once.size(), tag));
  EXPECT_EQ(tag.EncoderDelay, 0) << "the delay was not to be kept";
}

// A tag frame that cannot be made to describe the output is taken out.
TEST_F(XingOutputs, TagFramesThatCannotBeMadeTrueAreTakenOut) {
  // A VBRI frame of the stream's own header, its counts the source's.
  Bytes vbri(info_.size(), 0);
  std::memcpy(vbri.data(), info_.data(), 4);
  std::memcpy(&vbri[36], "VBRI", 4);
  vbri[41] = 1;                 // version
  PutBe32(&vbri[46], 4000000);  // bytes
  PutBe32(&vbri[50], 9999);     // frames
  // A Xing frame whose flags declare a TOC that its 104-byte frame cannot hold.
  Bytes cramped(104, 0);
  const std::uint8_t k32[4] = {0xFF, 0xFB, 0x10, 0x64};  // MPEG-1 Layer III 32 kbps
  std::memcpy(cramped.data(), k32, 4);
  std::memcpy(&cramped[36], "Xing", 4);
  PutBe32(&cramped[40], 0x7);
  struct Row {
    const char* what;
    Bytes front;
  };
  for (const Row& r : {Row{"VBRI frame", vbri}, Row{"Xing frame too small for its fields", cramped}}) {
    SCOPED_TRACE(r.what);
    Bytes out = r.front;
    out.insert(out.end(), audio_.begin(), audio_.end());
    Save(Path("out.mp3"), out);
    std::string message;
    EXPECT_EQ(UpdateOutputXingFrame(Path("out.mp3"), false, message), XingResult::Dropped);
    EXPECT_NE(message.find("taken out"), std::string::npos) << message;
    EXPECT_TRUE(Load(Path("out.mp3")) == audio_) << "the audio frames alone are left";
  }
  // A VBRI frame whose counts are the output's is left as it is.
  PutBe32(&vbri[46], static_cast<std::uint32_t>(vbri.size() + audio_.size()));
  PutBe32(&vbri[50], 40);
  Bytes out = vbri;
  out.insert(out.end(), audio_.begin(), audio_.end());
  Save(Path("true.mp3"), out);
  std::string message;
  EXPECT_EQ(UpdateOutputXingFrame(Path("true.mp3"), false, message), XingResult::Updated) << message;
  EXPECT_TRUE(Load(Path("true.mp3")) == out);
}

}  // namespace
