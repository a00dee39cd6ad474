// kerfwell-cut maps TagLib only for a run that writes tags: the tag writer is
// a module that it loads from beside itself (a build tree) or from the
// private library folder of an installed tree (tests/install runs that one).
// Without the module every other run works, and one that writes tags says
// what is missing and where it was looked for.

#include "CliRunner.h"

namespace {

using namespace clitest;

std::string Tags(const std::string& path) {
  return Shell("ffprobe -v error -show_entries format_tags -of default=nw=1 '" + path + "'");
}

class CliTagModule : public CliRun {
 protected:
  // A copy of kerfwell-cut in a folder of its own, with the module or not.
  void Alone(bool withModule) {
    namespace fs = std::filesystem;
    const fs::path folder = Path("bin");
    fs::create_directories(folder);
    const fs::path built = fs::path(CutBinary());
    fs::copy_file(built, folder / "kerfwell-cut", fs::copy_options::overwrite_existing);
    fs::remove(folder / "kerfwell-tags.so");
    if (withModule) fs::copy_file(built.parent_path() / "kerfwell-tags.so", folder / "kerfwell-tags.so");
    binary_ = (folder / "kerfwell-cut").string();
  }
};

TEST_F(CliTagModule, TagLibIsNoLibraryOfTheProgram) {
  const std::string libraries = Shell("ldd '" + binary_ + "'");
  ASSERT_TRUE(Contains(libraries, "libc.so")) << libraries;
  EXPECT_FALSE(Contains(libraries, "libtag")) << libraries;
}

TEST_F(CliTagModule, WithoutTheModuleOnlyWritingTagsFailsAndSaysWhatIsMissing) {
  Alone(false);
  const std::string in = Data("cbr128.mp3");
  Outcome r = Exec({"cut", "-o", Path("bare.mp3"), in});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(Slurp(Path("bare.mp3")), Slurp(in));
  r = Exec({"count", in});
  EXPECT_EQ(r.Status, 0) << r.Err;

  r = Exec({"cut", "--tag", "title=Clip", "-o", Path("tagged.mp3"), in});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, Path("tagged.mp3") + ": its tags could not be written")) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "kerfwell-tags.so was not found in " + Path("bin"))) << r.Err;
  // The tags go in before the output takes its name: without them, nothing does.
  EXPECT_FALSE(std::filesystem::exists(Path("tagged.mp3")));

  // A module that is there but cannot be loaded is named with the reason,
  // not passed over for another one.
  std::ofstream(Path("bin/kerfwell-tags.so")) << "not a library";
  r = Exec({"cut", "--tag", "title=Clip", "-o", Path("broken.mp3"), in});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, Path("bin/kerfwell-tags.so"))) << r.Err;
}

// A split writes its pieces' tags one by one as they are made: without the
// module it would leave pieces without them and fail at the first. It is
// refused before any piece, in the words of the first piece's tags.
TEST_F(CliTagModule, WithoutTheModuleASplitThatWritesTagsMakesNoPiece) {
  Alone(false);
  const std::string in = Data("tagged.mp3");
  {
    std::ofstream cue(Path("album.cue"));
    cue << "FILE \"" << in << "\" MP3\n  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
        << "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    INDEX 01 00:01:00\n";
  }
  struct Case {
    const char* name;
    std::vector<std::string> args;  // before the input; the points follow it
    std::vector<std::string> points;
    const char* first;  // the first piece's name
  } cases[] = {
      {"sample-exact, the input's tags", {}, {"1s"}, "tagged_01.mp3"},
      {"sample-exact, --every, --tags", {"--tags", "--every", "1"}, {}, "tagged_01.mp3"},
      {"frames, the input's tags", {"--frames"}, {"1", "2s"}, "tagged_01.mp3"},
      {"frames, --every, --tags", {"--frames", "--tags", "--every", "40f"}, {}, "tagged_01.mp3"},
      {"--tag", {"--no-tags", "--tag", "title=Part {n}"}, {"1s"}, "tagged_01.mp3"},
      {"a sheet", {"--cue", Path("album.cue")}, {}, "01 - One.mp3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = Path("pieces");
    std::filesystem::remove_all(dir);
    std::filesystem::create_directory(dir);
    std::vector<std::string> args{"split", "-q", "-d", dir};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back(in);
    args.insert(args.end(), c.points.begin(), c.points.end());
    const Outcome r = Exec(args);
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_TRUE(Contains(r.Err, dir + "/" + c.first + ": its tags could not be written: the tag writer could " +
                                    "not be loaded: kerfwell-tags.so was not found in " + Path("bin")))
        << r.Err;
    EXPECT_TRUE(std::filesystem::is_empty(dir)) << "a piece was written";
  }
  // A split that writes no tags does not need the module: --no-tags, or an
  // input without tags.
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--no-tags", in}, {Data("cbr128.mp3")}}) {
    std::filesystem::remove_all(Path("pieces"));
    std::vector<std::string> all{"split", "-q", "-d", Path("pieces")};
    all.insert(all.end(), args.begin(), args.end());
    all.push_back("1");
    const Outcome r = Exec(all);
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Path("pieces")), {}), 2);
  }
}

TEST_F(CliTagModule, TheModuleBesideTheProgramWritesTheTags) {
  Alone(true);
  const std::string in = Data("cbr128.mp3");
  const Outcome r = Exec({"cut", "--tag", "title=Clip", "--tag", "artist=Me", "-o", Path("tagged.mp3"), in});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::string t = Tags(Path("tagged.mp3"));
  EXPECT_TRUE(Contains(t, "TAG:title=Clip\n") && Contains(t, "TAG:artist=Me\n")) << t;
  const std::string tagged = Slurp(Path("tagged.mp3")), bare = Slurp(in);
  ASSERT_GT(tagged.size(), bare.size());
  EXPECT_TRUE(tagged.substr(tagged.size() - bare.size()) == bare);
}

}  // namespace
