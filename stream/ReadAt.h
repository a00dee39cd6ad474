#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

// Reads up to `n` bytes at offset `at` of `fd` into `into`, going on after
// short reads and interruptions; fewer only at the end of the file. -1 on an
// error, with errno set.
ssize_t ReadAt(int fd, std::uint8_t* into, std::size_t n, std::int64_t at);
