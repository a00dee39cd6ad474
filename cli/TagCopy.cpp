#include "cli/TagCopy.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "output/OutputWriter.h"
#include "stream/Id3Tag.h"
#include "stream/ReadAt.h"
#include "stream/SourceFile.h"

namespace {

// Bytes [offset, offset + length) of `input`, in pieces of constant size,
// handed to `put`.
template <class Put>
bool CopyBytes(const SourceFile& input, std::int64_t offset, std::int64_t length, Put&& put,
               std::string& error) {
  if (!input.IsOpen()) {
    error = "cannot open " + input.Path() + ": " +
            (input.OpenErrno() != 0 && !input.NotRegular() ? std::strerror(input.OpenErrno())
                                                           : "not a regular file");
    return false;
  }
  std::vector<std::uint8_t> buffer(1 << 16);
  while (length > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(length, 1 << 16));
    const ssize_t got = ReadAt(input.Descriptor(), buffer.data(), want, offset);
    if (got <= 0) {
      error = "cannot read " + input.Path() + ": " + (got < 0 ? std::strerror(errno) : "the file shrank");
      return false;
    }
    if (!put(buffer.data(), static_cast<std::size_t>(got))) return false;
    offset += got;
    length -= got;
  }
  return true;
}

}  // namespace

bool CopyLeadingTags(SourceFile& input, OutputWriter& output, std::string& error) {
  std::int64_t length = 0;
  if (!LeadingTagsLength(input, length, error)) return false;
  return length == 0 ||
         CopyBytes(
             input, 0, length,
             [&](const std::uint8_t* d, std::size_t n) { return output.WriteLeading(d, n, error); }, error);
}

bool CopyTrailingTag(SourceFile& input, OutputWriter& output, std::string& error) {
  if (!HasId3v1Tag(input)) return true;
  return CopyBytes(
      input, input.Size() - 128, 128,
      [&](const std::uint8_t* d, std::size_t n) { return output.WriteTrailing(d, n, error); }, error);
}

bool CopyLeadingTags(const std::string& input, OutputWriter& output, std::string& error) {
  SourceFile source(input);
  return CopyLeadingTags(source, output, error);
}

bool CopyTrailingTag(const std::string& input, OutputWriter& output, std::string& error) {
  SourceFile source(input);
  return CopyTrailingTag(source, output, error);
}
