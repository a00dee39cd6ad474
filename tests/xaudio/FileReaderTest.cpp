// The decoder's buffered input against the file itself: every mix of reads
// and seeks gives the bytes and offsets that read(2) and lseek(2) give, and
// a frame-by-frame walk costs one system read per buffer, not two per frame.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <string>

#include "Media.h"
#include "xaudio/FileReader.h"

namespace xaudio_test {
namespace {

using xaudio::FileReader;

int OpenRead(const std::string& path) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }

TEST(XaudioFileReader, ReadsAndSeeksGiveWhatTheFileHolds) {
  constexpr size_t kSize = 3 * FileReader::kBufferBytes + 12345;
  std::string content(kSize, '\0');
  std::mt19937 gen(11);
  for (char& c : content) c = static_cast<char>(gen());
  const std::string path = WriteFile("reader-content.bin", content);

  FileReader reader(OpenRead(path));
  off_t here = 0;  // where the file itself would be
  std::string got;
  for (int step = 0; step < 3000; ++step) {
    SCOPED_TRACE(step);
    switch (gen() % 6) {
      case 0:
      case 1:
      case 2: {
        // Mostly the decoder's small reads, now and then a buffer's worth or more.
        const size_t bytes = gen() % 10 == 0 ? gen() % (2 * FileReader::kBufferBytes) : gen() % 2000;
        got.assign(bytes, '\0');
        const ssize_t n = reader.Read(got.data(), bytes);
        const size_t expected =
            here >= static_cast<off_t>(kSize) ? 0 : std::min(bytes, kSize - static_cast<size_t>(here));
        ASSERT_EQ(n, static_cast<ssize_t>(expected));
        if (expected > 0) {
          ASSERT_EQ(got.substr(0, expected), content.substr(static_cast<size_t>(here), expected));
        }
        here += n;
        break;
      }
      case 3: {
        const off_t to = static_cast<off_t>(gen() % (kSize + 100));
        ASSERT_EQ(reader.Seek(to, SEEK_SET), to);
        here = to;
        break;
      }
      case 4: {
        // Short steps back and forth, as a header search makes.
        const off_t by = static_cast<off_t>(gen() % 4000) - 2000;
        if (here + by < 0) {
          EXPECT_EQ(reader.Seek(by, SEEK_CUR), -1) << "before the start is refused";
        } else {
          ASSERT_EQ(reader.Seek(by, SEEK_CUR), here + by);
          here += by;
        }
        break;
      }
      default: {
        const off_t back = static_cast<off_t>(gen() % 300);
        ASSERT_EQ(reader.Seek(-back, SEEK_END), static_cast<off_t>(kSize) - back);
        here = static_cast<off_t>(kSize) - back;
        break;
      }
    }
    ASSERT_EQ(reader.Seek(0, SEEK_CUR), here);
  }
}

TEST(XaudioFileReader, ParsingAFileFrameByFrameCostsOneSystemReadPerBuffer) {
  const std::string content(4 * FileReader::kBufferBytes + 999, 'x');
  const std::string path = WriteFile("reader-walk.bin", content);
  FileReader reader(OpenRead(path));
  char header[4];
  char body[413];
  size_t total = 0;
  for (;;) {
    // Four bytes of header, a look back, then the frame's body.
    const ssize_t h = reader.Read(header, sizeof header);
    if (h <= 0) break;
    ASSERT_EQ(reader.Seek(-h, SEEK_CUR), static_cast<off_t>(total));
    ASSERT_EQ(reader.Read(header, sizeof header), h);
    const ssize_t b = reader.Read(body, sizeof body);
    total += static_cast<size_t>(h) + static_cast<size_t>(std::max<ssize_t>(b, 0));
    if (b <= 0) break;
  }
  EXPECT_EQ(total, content.size());
  // One read per buffer's worth, and the few that find the end.
  EXPECT_LE(reader.SystemReads(), content.size() / FileReader::kBufferBytes + 3);
}

TEST(XaudioFileReader, AFailingDescriptorReportsErrorsInsteadOfData) {
  FileReader reader(-1);
  char byte = 0;
  EXPECT_EQ(reader.Read(&byte, 1), -1);
  EXPECT_EQ(reader.Seek(10, SEEK_SET), -1);
  EXPECT_EQ(reader.Seek(0, SEEK_END), -1);
  EXPECT_EQ(reader.Seek(0, 42), -1);
}

}  // namespace
}  // namespace xaudio_test
