#pragma once

#include <cstdint>
#include <string>

// Opens `path` for reading when it is a regular file. It is opened without
// blocking, so that a FIFO is refused rather than waited on. Returns the
// descriptor (in blocking mode) and its size, or -1 with `error` naming the
// file and the reason.
int OpenRegularFile(const std::string& path, std::int64_t& size, std::string& error);
