#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "stream/FrameSink.h"
#include "stream/Scanner.h"

// The output of a cut: a regular file opened for appending, created with its
// missing directories when absent, and left holding whole frames only.
class OutputFile : public FrameSink {
 public:
  OutputFile() = default;
  ~OutputFile() override;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Ok, OutputCreateFailed or OutputOpenFailed; `message` names the file (or
  // the folder that could not be made) and the system's reason on failure.
  ScanStatus Open(const std::string& path, std::string& message);

  // Appends all of [data, data + length). On failure `written` tells how many
  // bytes did reach the file and `message` says why the rest did not.
  bool Write(const std::uint8_t* data, std::size_t length, std::int32_t firstIndex, std::size_t& written,
             std::string& message) override;
  bool Write(const std::uint8_t* data, std::size_t length, std::size_t& written, std::string& message) {
    return Write(data, length, 0, written, message);
  }

  // Drops the `partial` bytes that the last, failed write left after our last
  // whole frame, but only while they are still the end of the file: another
  // writer appending to the same output must not lose its frames. Adds to
  // `message` what could not be mended.
  void CutBack(std::size_t partial, std::string& message) override;

 private:
  std::string path_;
  int fd_ = -1;
};
