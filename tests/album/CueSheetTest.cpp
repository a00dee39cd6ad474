// CUE sheets as rippers write them, and the ones a split must refuse.

#include <gtest/gtest.h>

#include <cstdio>
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
  const char* expect;  // the last track's title, or a part of the error (its line first)
  std::size_t tracks = 2;  // read whole: as many as the TRACK lines
};

std::string ManyTracks(int n) {
  std::string text = kHead;
  for (int i = 1; i <= n; ++i) {
    char line[96];
    std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    TITLE \"T%d\"\n    INDEX 01 %02d:%02d:00\n", i, i,
                  i / 60, i % 60);
    text += line;
  }
  return text;
}

// Every sheet is read whole (every TRACK line a track, each at its INDEX 01)
// or refused naming the line that stops it.
TEST(CueSheet, EdgeCasesOfRealSheets) {
  const std::string one = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
  const std::string two = "  TRACK 02 AUDIO\n    INDEX 01 00:10:00\n";
  const Case cases[] = {
      {"a missing TITLE leaves it empty", kHead + one + two, true, ""},
      {"quotes inside the text", kHead + one + "  TRACK 02 AUDIO\n    TITLE \"Say \\\"Hi\\\"\"\n"
                                               "    INDEX 01 00:10:00\n", true, "Say \"Hi\""},
      {"an unescaped quote stays in its line", kHead + "  TRACK 01 AUDIO\n    TITLE \"7\" Version\"\n"
                                               "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    TITLE \"Next\"\n"
                                               "    INDEX 01 00:10:00\n", true, "Next"},
      {"a trailing backslash stays in its line", kHead + one + "  TRACK 02 AUDIO\n    TITLE \"Back\\\"\n"
                                                 "    INDEX 01 00:10:00\n", true, "Back\\"},
      {"non-ASCII in UTF-8", kHead + one + "  TRACK 02 AUDIO\n    TITLE \"Añoranza ★\"\n    INDEX 01 00:10:00\n",
       true, "Añoranza ★"},
      {"non-ASCII in Latin-1", kHead + one + "  TRACK 02 AUDIO\n    TITLE \"Caf\xE9\"\n    INDEX 01 00:10:00\n",
       true, "Café"},
      {"a byte-order mark", "\xEF\xBB\xBF" + kHead + one + "  TRACK 02 AUDIO\n    TITLE \"B\"\n"
                                                           "    INDEX 01 00:10:00\n", true, "B"},
      {"FILE names a .flac", "FILE \"x.flac\" WAVE\n TRACK 01 AUDIO\n TITLE \"Flac\"\n INDEX 01 00:00:00\n", true,
       "Flac", 1},
      {"CRLF line ends", "FILE \"a.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"Dos\"\r\n    INDEX 01 00:00:00\r\n",
       true, "Dos", 1},
      {"CR line ends", "FILE \"a.wav\" WAVE\r TRACK 01 AUDIO\r INDEX 01 00:00:00\r TRACK 02 AUDIO\r TITLE \"Mac\"\r"
                       " INDEX 01 00:10:00\r", true, "Mac"},
      {"lower-case keywords", "file \"a.wav\" wave\n track 01 audio\n index 01 00:00:00\n Track 02 Audio\n"
                              " title \"low\"\n Index 01 00:10:00\n", true, "low"},
      {"99 tracks", ManyTracks(99), true, "T99", 99},
      {"frames field 75", kHead + "  TRACK 01 AUDIO\n    INDEX 01 00:00:75\n", false, "line 5: INDEX 01 00:00:75"},
      {"seconds field 60", kHead + "  TRACK 01 AUDIO\n    INDEX 01 00:60:00\n", false, "seconds 00 to 59"},
      {"minutes past the count", kHead + one + "  TRACK 02 AUDIO\n    INDEX 01 954438:00:00\n", false,
       "line 7: INDEX 01 954438:00:00 is not"},
      {"100 tracks", ManyTracks(100), false, "line 301: a CUE sheet holds at most 99 tracks"},
      {"two FILE lines", kHead + one + "FILE \"b.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n", false,
       "line 6: the sheet names 2 files"},
      {"a second FILE behind a CR", kHead + one + "REM x\rFILE \"b.wav\" WAVE\n" + two, false,
       "line 7: the sheet names 2 files"},
      {"a quote not closed", kHead + one + "  TRACK 02 AUDIO\n    TITLE \"Open\n    INDEX 01 00:10:00\n", false,
       "line 7: a quoted text is not closed"},
      {"an overlong UTF-8 title", kHead + one + "  TRACK 02 AUDIO\n    TITLE \"a\xC0\xAF..\"\n    INDEX 01 00:10:00\n",
       false, "line 7: a UTF-8 sequence that is overlong"},
      {"no TRACK", kHead, false, "holds no TRACK"},
      {"a track without INDEX 01", kHead + one + "  TRACK 02 AUDIO\n    INDEX 00 00:10:00\n", false,
       "line 6: track 2 has no INDEX 01"},
      {"tracks out of order", kHead + "  TRACK 01 AUDIO\n    INDEX 01 00:20:00\n" + two, false,
       "line 6: track 2 does not start after track 1"},
      {"an unknown TRACK mode", kHead + one + "  TRACK 02 MOVIE\n    INDEX 01 00:10:00\n", false,
       "line 6: \"  TRACK 02 MOVIE\" is no TRACK line"},
      {"not a sheet at all", "garbage in\nTRACK here\n", false, "line 1: not a CUE sheet"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CueSheet sheet;
    std::string error;
    ASSERT_EQ(ParseCueSheet(c.text, sheet, error), c.ok) << error;
    if (c.ok) {
      EXPECT_EQ(sheet.Tracks.size(), c.tracks);
      EXPECT_EQ(sheet.Tracks.back().Title, c.expect);
      EXPECT_EQ(sheet.Tracks.back().Start, c.tracks == 1 ? 0 : c.tracks == 2 ? 750 : (98 / 60 * 60 + 98 % 60 + 1) * 75);
    } else {
      EXPECT_NE(error.find(c.expect), std::string::npos) << error;
      EXPECT_EQ(error.find("bad character"), std::string::npos) << error;
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
