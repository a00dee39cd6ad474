// The tag readers on arbitrary bytes. Leading ID3v2 tags in three forms: on
// bytes in memory (Id3v2TagLength, as a caller walks tags back to back), on a
// file (LeadingTagsLength), and through the engine's read window
// (SkipLeadingTags, any window size): all three must step over exactly the
// same tags, and agree with a plain reading of the tag header. Trailing tags
// (ID3v1, APE, Lyrics3v2, ID3v2 with a footer) found on the file, on bytes in
// memory and through a reader: the same tags, back to back from the end of
// the file down to where the audio ends, above the leading tags; an appended
// ID3v2 tag is as long as its own header says. The ID3v1 test on a file must
// agree with the bytes.
//
// Input: 8 control bytes, then the content.
//   c[0]      1: a hole of zeros lies inside the file, so that tags of large
//             declared sizes fit; 2: the window of the engine's reader is
//             small (16 + c[3] bytes), else 16 + 64 * c[3]
//   c[1..2]   the hole's length: 64 * (c[1] | c[2] << 8) bytes (up to 4 MiB)
//   c[4..5]   where the hole begins: after c[4] | c[5] << 8 bytes of content
//             (or the whole content, if shorter)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "stream/FrameWalk.h"
#include "stream/Id3Tag.h"
#include "stream/InputFile.h"
#include "stream/TrailingTags.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kControl = 8;

fs::path g_dir;

// The file as the fuzzer describes it: content[0, split), a hole of zeros,
// content[split, end).
struct Layout {
  const std::uint8_t* content = nullptr;
  std::size_t contentSize = 0;
  std::size_t split = 0;
  std::int64_t hole = 0;

  std::int64_t Size() const { return static_cast<std::int64_t>(contentSize) + hole; }
  std::uint8_t At(std::int64_t p) const {
    if (p < static_cast<std::int64_t>(split)) return content[p];
    if (p < static_cast<std::int64_t>(split) + hole) return 0;
    return content[p - hole];
  }
};

// A plain reading of the tag header, byte by byte.
std::int64_t ModelTagLength(const Layout& f, std::int64_t p) {
  const std::int64_t remaining = f.Size() - p;
  if (remaining < 10) return 0;
  std::uint8_t t[10];
  for (int i = 0; i < 10; ++i) t[i] = f.At(p + i);
  if (t[0] != 'I' || t[1] != 'D' || t[2] != '3' || t[3] == 0xFF || t[4] == 0xFF) return 0;
  if ((t[6] | t[7] | t[8] | t[9]) & 0x80) return 0;
  const std::int64_t length =
      10 + (std::int64_t{t[6]} << 21 | std::int64_t{t[7]} << 14 | t[8] << 7 | t[9]) + ((t[5] & 0x10) ? 10 : 0);
  return length <= remaining ? length : 0;
}

// The buffer form, handed exactly the bytes at hand: the content itself where
// the tag header lies in one piece of it, else a copy of the ten bytes.
std::int64_t BufferTagLength(const Layout& f, std::int64_t p) {
  const std::int64_t remaining = f.Size() - p;
  const std::int64_t split = static_cast<std::int64_t>(f.split);
  const std::uint8_t* at = nullptr;
  std::size_t available = 0;
  std::vector<std::uint8_t> copy;
  if (p < split) {
    at = f.content + p;
    available = static_cast<std::size_t>(split - p);
  } else if (p >= split + f.hole) {
    at = f.content + (p - f.hole);
    available = static_cast<std::size_t>(remaining);
  }
  if (available < 10 && remaining >= 10) {
    // Exactly ten bytes in a buffer of their own: a read past them is caught.
    copy.resize(10);
    for (int i = 0; i < 10; ++i) copy[static_cast<std::size_t>(i)] = f.At(p + i);
    at = copy.data();
    available = 10;
  }
  if (at == nullptr) {  // fewer than ten bytes left, starting in the hole
    for (std::int64_t i = 0; i < remaining; ++i) copy.push_back(f.At(p + i));
    at = copy.data();
    available = copy.size();
  }
  const std::int64_t length = Id3v2TagLength(at, available, remaining);
  // Fewer than ten bytes at hand never tell a tag; more than ten never change
  // the verdict.
  if (available >= 10) {
    FUZZ_CHECK(Id3v2TagLength(at, 9, remaining) == 0, "a tag told from nine bytes at %lld",
               static_cast<long long>(p));
    FUZZ_CHECK(Id3v2TagLength(at, 10, remaining) == length, "ten bytes at %lld say %lld, %zu say %lld",
               static_cast<long long>(p), static_cast<long long>(Id3v2TagLength(at, 10, remaining)), available,
               static_cast<long long>(length));
  }
  return length;
}

void WriteLayout(const fs::path& path, const Layout& f) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  FUZZ_CHECK(fd >= 0, "cannot create %s", path.c_str());
  FUZZ_CHECK(::ftruncate(fd, f.Size()) == 0, "ftruncate");  // the hole costs nothing
  auto put = [&](const std::uint8_t* from, std::size_t n, std::int64_t at) {
    for (std::size_t done = 0; done < n;) {
      const ssize_t w = ::pwrite(fd, from + done, n - done, at + static_cast<std::int64_t>(done));
      FUZZ_CHECK(w > 0, "pwrite");
      done += static_cast<std::size_t>(w);
    }
  };
  put(f.content, f.split, 0);
  put(f.content + f.split, f.contentSize - f.split, static_cast<std::int64_t>(f.split) + f.hole);
  ::close(fd);
}

bool SameTags(const TrailingTags& a, const TrailingTags& b) {
  if (a.AudioEnd != b.AudioEnd || a.Tags.size() != b.Tags.size()) return false;
  for (std::size_t i = 0; i < a.Tags.size(); ++i) {
    if (a.Tags[i].Kind != b.Tags[i].Kind || a.Tags[i].Offset != b.Tags[i].Offset ||
        a.Tags[i].Length != b.Tags[i].Length)
      return false;
  }
  return true;
}

void CheckTrailing(const Layout& f, const fs::path& path, std::int64_t leading) {
  const std::int64_t size = f.Size();
  TrailingTags onFile;
  std::string error;
  FUZZ_CHECK(FindTrailingTags(path.string(), onFile, error), "FindTrailingTags: %s", error.c_str());
  const TrailingTags read = FindTrailingTags(size, leading, [&](std::int64_t at, std::uint8_t* into, std::size_t n) {
    if (at < 0 || at + static_cast<std::int64_t>(n) > size) return false;
    for (std::size_t i = 0; i < n; ++i) into[i] = f.At(at + static_cast<std::int64_t>(i));
    return true;
  });
  FUZZ_CHECK(SameTags(onFile, read), "on the file %zu trailing tags, audio to %lld; read %zu, audio to %lld",
             onFile.Tags.size(), static_cast<long long>(onFile.AudioEnd), read.Tags.size(),
             static_cast<long long>(read.AudioEnd));
  if (size <= (1 << 17)) {
    // In memory, in a buffer exactly as long as the file.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    for (std::int64_t i = 0; i < size; ++i) bytes[static_cast<std::size_t>(i)] = f.At(i);
    FUZZ_CHECK(SameTags(FindTrailingTags(bytes.data(), size, leading), onFile),
               "in memory the trailing tags differ from the file's");
  }
  std::int64_t end = size;
  for (const TrailingTag& t : onFile.Tags) {
    FUZZ_CHECK(t.Offset + t.Length == end && t.Offset >= leading && t.Length > 0,
               "a %s tag at %lld of %lld bytes, expected to end at %lld above %lld", TrailingTagName(t.Kind),
               static_cast<long long>(t.Offset), static_cast<long long>(t.Length), static_cast<long long>(end),
               static_cast<long long>(leading));
    end = t.Offset;
    if (t.Kind == TrailingTagKind::Id3v1) {
      FUZZ_CHECK(t.Length == 128 && t.Offset + 128 == size, "an ID3v1 tag not at the end");
    }
    if (t.Kind == TrailingTagKind::Id3v2) {
      // The tag's own header gives its length, footer included.
      std::uint8_t header[10];
      for (int i = 0; i < 10; ++i) header[i] = f.At(t.Offset + i);
      FUZZ_CHECK(Id3v2TagLength(header, 10, t.Length) == t.Length,
                 "an appended ID3v2 tag of %lld bytes whose header says %lld", static_cast<long long>(t.Length),
                 static_cast<long long>(Id3v2TagLength(header, 10, t.Length)));
    }
  }
  FUZZ_CHECK(onFile.AudioEnd == end && end >= leading, "the audio ends at %lld, the tags at %lld",
             static_cast<long long>(onFile.AudioEnd), static_cast<long long>(end));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_dir = MakeScratchDir("id3");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint8_t c[kControl] = {};
  std::memcpy(c, data, std::min(size, kControl));
  Layout f;
  f.content = data + std::min(size, kControl);
  f.contentSize = size - std::min(size, kControl);
  const bool holed = c[0] & 1;
  f.hole = holed ? 64 * static_cast<std::int64_t>(c[1] | c[2] << 8) : 0;
  f.split = holed ? std::min<std::size_t>(f.contentSize, static_cast<std::size_t>(c[4] | c[5] << 8))
                  : f.contentSize;
  const std::size_t window = (c[0] & 2) ? 16 + std::size_t{c[3]} : 16 + 64 * std::size_t{c[3]};

  // Tags back to back, in memory and by the plain reading.
  std::int64_t inMemory = 0;
  int tags = 0;
  for (;;) {
    const std::int64_t model = ModelTagLength(f, inMemory);
    const std::int64_t length = BufferTagLength(f, inMemory);
    FUZZ_CHECK(length == model, "tag %d at %lld: %lld bytes, the header says %lld", tags,
               static_cast<long long>(inMemory), static_cast<long long>(length), static_cast<long long>(model));
    if (length == 0) break;
    FUZZ_CHECK(length >= 10 && inMemory + length <= f.Size(), "tag of %lld bytes at %lld in %lld",
               static_cast<long long>(length), static_cast<long long>(inMemory), static_cast<long long>(f.Size()));
    inMemory += length;
    ++tags;
  }

  const fs::path path = g_dir / "input.mp3";
  WriteLayout(path, f);

  // The file form.
  std::int64_t onFile = -1;
  std::string error;
  FUZZ_CHECK(LeadingTagsLength(path.string(), onFile, error), "LeadingTagsLength failed: %s", error.c_str());
  FUZZ_CHECK(onFile == inMemory, "the file's tags end at %lld, in memory at %lld (%d tags)",
             static_cast<long long>(onFile), static_cast<long long>(inMemory), tags);

  // The engine's window, whatever its size.
  {
    InputFile in(window);
    std::int64_t pos = -1;
    FUZZ_CHECK(in.Open(path.string(), error), "open: %s", error.c_str());
    FUZZ_CHECK(framewalk::SkipLeadingTags(in, pos, error), "SkipLeadingTags: %s", error.c_str());
    FUZZ_CHECK(pos == inMemory, "through a window of %zu bytes the tags end at %lld, in memory at %lld", window,
               static_cast<long long>(pos), static_cast<long long>(inMemory));
  }

  CheckTrailing(f, path, inMemory);

  // ID3v1: "TAG" 128 bytes before the end.
  const std::int64_t end = f.Size();
  const bool v1 = end >= 128 && f.At(end - 128) == 'T' && f.At(end - 127) == 'A' && f.At(end - 126) == 'G';
  FUZZ_CHECK(HasId3v1Tag(path.string()) == v1, "ID3v1 said %d, the bytes %d", !v1, v1);

  // A path that is no regular file is an error for the file form, not a length.
  std::int64_t none = -1;
  error.clear();
  FUZZ_CHECK(!LeadingTagsLength(g_dir.string(), none, error) && !error.empty() && none == 0,
             "a folder read as tags: %lld", static_cast<long long>(none));
  return 0;
}
