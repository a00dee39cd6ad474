#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "stream/Scanner.h"

// The output of a cut: opened for appending, created with its missing
// directories when absent, and only ever left holding whole frames.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Ok, OutputCreateFailed or OutputOpenFailed; `message` names the file and
  // the system's reason on failure.
  ScanStatus Open(const std::string& path, std::string& message);

  // Writes all of [data, data + length). On failure `written` tells how many
  // bytes did reach the file and `message` says why the rest did not.
  bool Write(const std::uint8_t* data, std::size_t length, std::size_t& written, std::string& message);

  // End of the last whole frame: what the output held when opened plus the
  // frames confirmed since.
  void Commit(std::int64_t bytes) { committed_ += bytes; }
  // Drops anything after the last whole frame, as far as the file allows.
  void CutBackToCommitted();

 private:
  std::string path_;
  int fd_ = -1;
  std::int64_t committed_ = 0;
};
