#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "stream/Scanner.h"

// Size of the window behind ProbeFile and ScanFrames: the part of the file
// mapped at once (or the buffer read into where a file cannot be mapped).
// Every page of it is mapped in, so it counts whole in the cutter's peak
// memory. A middle-hour cut of a 173 MB file on tmpfs took about 2 % less
// CPU with 512 KiB and 1 MiB, at 0.3 and 0.8 MiB more memory. Read into a
// buffer, 128, 256 and 512 KiB cost the same on tmpfs,
// and 128 KiB cost 6 % more on ext4, where each write that starts inside a
// page costs more.
// The variants below take another size so that tests can put window
// boundaries anywhere; the results never depend on it.
constexpr std::size_t kDefaultReadBuffer = 256 * 1024;
// A frame must fit in the buffer whole: the longest is 1729 bytes.
constexpr std::size_t kSmallestReadBuffer = 2048;

// The positions a probe examines, counted from the end of the leading tags.
constexpr std::int64_t kProbeWindow = 2097152;

// A leading 0xFF and the three top bits of the next byte set: eleven sync bits.
inline bool IsSyncCandidate(const std::uint8_t* b) { return b[0] == 0xFF && b[1] >= 0xE0; }

bool ProbeFileBuffered(const std::string& path, FrameHeader& reference, std::string* error,
                       std::size_t bufferSize);

// WalkFrames from `from`, in step after a frame of `header`'s stream that
// ended there (a tag frame whose audio is walked): nothing before it, and no
// stray pattern inside it, is taken for a frame.
bool WalkFramesAfter(const std::string& path, std::int64_t from, const std::uint8_t header[4],
                     const FrameHeader& reference, const ScanOptions& options,
                     const std::function<bool(const FrameVisit&)>& visit, std::string& error);
bool WalkFramesAfter(SourceFile& source, std::int64_t from, const std::uint8_t header[4],
                     const FrameHeader& reference, const ScanOptions& options,
                     const std::function<bool(const FrameVisit&)>& visit, std::string& error);

ScanResult ScanFramesBuffered(const std::string& inputPath, const std::string& outputPath,
                              std::int32_t startFrame, std::int32_t stopFrame, bool countOnly,
                              const FrameHeader& reference, const JobProgress& progress,
                              std::size_t bufferSize, const ScanOptions& options = {});
ScanResult ScanFramesBuffered(SourceFile& input, const std::string& outputPath, std::int32_t startFrame,
                              std::int32_t stopFrame, bool countOnly, const FrameHeader& reference,
                              const JobProgress& progress, std::size_t bufferSize,
                              const ScanOptions& options = {});
