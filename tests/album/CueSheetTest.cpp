// CUE sheets as rippers write them, and the ones a split must refuse.

#include <gtest/gtest.h>

#include <fstream>

#include "AlbumFixture.h"
#include "album/CueSheet.h"

namespace {

const std::string kHead = "PERFORMER \"Band\"\nTITLE \"Album\"\nFILE \"album.wav\" WAVE\n";

TEST(CueSheet, AlbumFieldsTracksAndStartsAreRead) {
  CueSheet sheet;
  std::string error;
  const std::string text = "REM GENRE \"Test Tones\"\nREM DATE 2024\n" + kHead +
                           "  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
                           "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    PERFORMER \"Guest\"\n"
                           "    INDEX 00 01:58:40\n    INDEX 01 02:01:74\n";
  ASSERT_TRUE(ParseCueSheet(text, sheet, error)) << error;
  EXPECT_EQ(sheet.Title, "Album");
  EXPECT_EQ(sheet.Performer, "Band");
  EXPECT_EQ(sheet.Genre, "Test Tones");
  EXPECT_EQ(sheet.Date, "2024");
  EXPECT_EQ(sheet.File, "album.wav");
  ASSERT_EQ(sheet.Tracks.size(), 2u);
  EXPECT_EQ(sheet.Tracks[0].Title, "One");
  EXPECT_EQ(sheet.Tracks[0].Performer, "");
  EXPECT_EQ(sheet.Tracks[1].Performer, "Guest");
  // The pregap (INDEX 00) stays with track 1: track 2 starts at INDEX 01,
  // and frame 74 is the last of a second.
  EXPECT_EQ(sheet.Tracks[1].Start, (2 * 60 + 1) * 75 + 74);
  EXPECT_EQ(CueFramesToNanoseconds(sheet.Tracks[1].Start), 121'986'666'666);
}

struct Case {
  const char* name;
  std::string text;
  bool ok;
  const char* expect;  // a title of the last track, or a part of the error
};

TEST(CueSheet, EdgeCasesOfRealSheets) {
  const std::string one = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
  const Case cases[] = {
      {"a missing TITLE leaves it empty", kHead + one + "  TRACK 02 AUDIO\n    INDEX 01 00:10:00\n", true, ""},
      {"quotes inside the text", kHead + one + "  TRACK 02 AUDIO\n    TITLE \"Say \\\"Hi\\\"\"\n"
                                               "    INDEX 01 00:10:00\n", true, "Say \"Hi\""},
      {"non-ASCII in UTF-8", kHead + one + "  TRACK 02 AUDIO\n    TITLE \"Añoranza ★\"\n    INDEX 01 00:10:00\n",
       true, "Añoranza ★"},
      {"non-ASCII in Latin-1", kHead + one + "  TRACK 02 AUDIO\n    TITLE \"Caf\xE9\"\n    INDEX 01 00:10:00\n",
       true, "Café"},
      {"a byte-order mark", "\xEF\xBB\xBF" + kHead + one + "  TRACK 02 AUDIO\n    TITLE \"B\"\n"
                                                           "    INDEX 01 00:10:00\n", true, "B"},
      {"FILE names a .flac", "FILE \"x.flac\" WAVE\n TRACK 01 AUDIO\n TITLE \"Flac\"\n INDEX 01 00:00:00\n", true,
       "Flac"},
      {"CRLF line ends", "FILE \"a.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"Dos\"\r\n    INDEX 01 00:00:00\r\n",
       true, "Dos"},
      {"frames field 75", kHead + "  TRACK 01 AUDIO\n    INDEX 01 00:00:75\n", false, "frames 00 to 74"},
      {"seconds field 60", kHead + "  TRACK 01 AUDIO\n    INDEX 01 00:60:00\n", false, "seconds 00 to 59"},
      {"two FILE lines", kHead + one + "FILE \"b.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n", false,
       "names 2 files"},
      {"no TRACK", kHead, false, "holds no TRACK"},
      {"a track without INDEX 01", kHead + one + "  TRACK 02 AUDIO\n    INDEX 00 00:10:00\n", false,
       "track 2 has no INDEX 01"},
      {"tracks out of order", kHead + "  TRACK 01 AUDIO\n    INDEX 01 00:20:00\n" + "  TRACK 02 AUDIO\n"
                                                                                  "    INDEX 01 00:10:00\n",
       false, "does not start after track 1"},
      {"not a sheet at all", "garbage in\nTRACK here\n", false, "not a CUE sheet"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CueSheet sheet;
    std::string error;
    ASSERT_EQ(ParseCueSheet(c.text, sheet, error), c.ok) << error;
    if (c.ok) {
      EXPECT_EQ(sheet.Tracks.back().Title, c.expect);
    } else {
      EXPECT_NE(error.find(c.expect), std::string::npos) << error;
    }
  }
}

TEST(CueSheet, ReadsTheAlbumSheetAndRefusesWhatIsNoSheetFile) {
  const std::string dir = albumtest::TempDir();
  ASSERT_TRUE(albumtest::MakeAlbum(dir));
  CueSheet sheet;
  std::string error;
  ASSERT_TRUE(ReadCueSheet(dir + "/album.cue", sheet, error)) << error;
  ASSERT_EQ(sheet.Tracks.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i)
    EXPECT_EQ(sheet.Tracks[i].Start, static_cast<std::int64_t>(albumtest::kTrackStarts[i] * 75 + 0.5)) << i;
  EXPECT_EQ(sheet.Tracks[2].Title, "Drei: \"Quoted\"");
  EXPECT_EQ(sheet.Tracks[1].Title, "Über/Zwei");

  EXPECT_FALSE(ReadCueSheet(dir + "/missing.cue", sheet, error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
  EXPECT_FALSE(ReadCueSheet(dir, sheet, error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  EXPECT_FALSE(ReadCueSheet(dir + "/album-cbr.mp3", sheet, error));  // audio given as the sheet
  EXPECT_NE(error.find("album-cbr.mp3"), std::string::npos) << error;
  std::filesystem::remove_all(dir);
}

}  // namespace
