#include "cli/XingFinish.h"

#include <fcntl.h>
#include <unistd.h>

#include "stream/Id3Tag.h"
#include "stream/Scanner.h"
#include "stream/XingFrame.h"

bool FinishXingFrame(const std::string& output, bool keepEndPadding, bool newOutput, std::string& error) {
  const XingResult r = UpdateOutputXingFrame(output, keepEndPadding, error);
  if (r == XingResult::Failed) return false;
  if (r == XingResult::Updated || !newOutput) return true;
  // A Xing frame is a Layer III frame: other layers stay as they are.
  FrameHeader first;
  if (!ProbeFile(output, first) || first.Layer != 1 || !HoldsSeveralBitRates(output)) return true;
  return PrependXingFrame(output, error);
}

bool XingFrameAlreadyCounts(const std::string& output, std::int64_t frames, std::int64_t bytes) {
  std::int64_t front = 0;
  std::string error;
  if (!LeadingTagsLength(output, front, error)) return false;
  const int fd = ::open(output.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::uint8_t frame[1729];
  const ssize_t got = ::pread(fd, frame, sizeof frame, front);
  ::close(fd);
  XingTag tag;
  if (got <= 0 || !ParseXingTag(frame, static_cast<std::size_t>(got), tag)) return false;
  const bool framesRight = !(tag.Flags & kXingFramesFlag) || tag.Frames == frames - 1;
  const bool bytesRight = !(tag.Flags & kXingBytesFlag) || tag.Bytes == bytes;
  return framesRight && bytesRight;
}
