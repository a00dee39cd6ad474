#include "album/CueSheet.h"

#include <fcntl.h>
#include <libcue.h>
#include <sys/stat.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "album/CueText.h"
#include "album/RegularFile.h"
#include "album/Utf8.h"

namespace {

constexpr std::size_t kLongestSheet = 1 << 20;

// Sheets written on Windows are often in Latin-1; its bytes are the first 256
// code points.
std::string Latin1ToUtf8(const std::string& s) {
  std::string out;
  for (char ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

int LineAt(const std::string& text, std::size_t at) {
  int line = 1;
  for (std::size_t i = 0; i < at && i < text.size(); ++i)
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) ++line;
  return line;
}

// libcue reports parse errors on standard error, in words and line numbers
// of its own (counted on from its last parse); they go to a memory file
// instead, and the refusal is said in our words.
Cd* ParseQuietly(const std::string& text) {
  std::fflush(stderr);
  const int saved = ::dup(STDERR_FILENO);
  const int sink = ::memfd_create("libcue-errors", MFD_CLOEXEC);
  if (saved >= 0 && sink >= 0) ::dup2(sink, STDERR_FILENO);
  Cd* cd = cue_parse_string(text.c_str());
  std::fflush(stderr);
  if (saved >= 0 && sink >= 0) ::dup2(saved, STDERR_FILENO);
  if (saved >= 0) ::close(saved);
  if (sink >= 0) ::close(sink);
  return cd;
}

}  // namespace

std::int64_t CueFramesToNanoseconds(std::int64_t frames) {
  // Rounded down: the first sample at or after the instant is then the one
  // the sheet means, at every rate that is a multiple of 75 (44.1 and 48 kHz).
  return frames * 1'000'000'000 / kCueFramesPerSecond;
}

bool ParseCueSheet(const std::string& raw, CueSheet& sheet, std::string& error) {
  sheet = CueSheet{};
  std::string text = raw.rfind("\xEF\xBB\xBF", 0) == 0 ? raw.substr(3) : raw;
  if (text.find('\0') != std::string::npos) {
    error = "not a CUE sheet (it holds NUL bytes)";
    return false;
  }
  std::size_t bad = 0;
  switch (CheckUtf8(text, bad)) {
    case Utf8Form::Valid:
      break;
    case Utf8Form::NotUtf8:
      text = Latin1ToUtf8(text);
      break;
    case Utf8Form::BadValue:
      error = "line " + std::to_string(LineAt(text, bad)) +
              ": a UTF-8 sequence that is overlong or names no character";
      return false;
  }
  CueReading reading;
  if (!ReadCueText(text, reading, error)) return false;
  // The CUE library reads the sheet's structure again: a sheet is taken only
  // when it finds the same tracks at the same starts.
  Cd* cd = ParseQuietly(reading.Structure);
  if (cd == nullptr) {
    error = "not a CUE sheet that can be read (the CUE library refused its FILE, TRACK and INDEX lines)";
    return false;
  }
  const std::size_t count = static_cast<std::size_t>(std::max(0, cd_get_ntrack(cd)));
  const std::vector<CueTrack>& tracks = reading.Sheet.Tracks;
  for (std::size_t i = 0; i < tracks.size() && error.empty(); ++i) {
    const Track* t = i < count ? cd_get_track(cd, static_cast<int>(i + 1)) : nullptr;
    if (t == nullptr || track_get_index(t, 1) != tracks[i].Start) {
      error = "line " + std::to_string(reading.TrackLines[i]) + ": track " + std::to_string(i + 1) +
              " could not be read whole by the CUE library";
    } else if (i > 0 && tracks[i].Start <= tracks[i - 1].Start) {
      error = "line " + std::to_string(reading.TrackLines[i]) + ": track " + std::to_string(i + 1) +
              " does not start after track " + std::to_string(i);
    }
  }
  if (error.empty() && count > tracks.size())
    error = "the CUE library read " + std::to_string(count) + " tracks where the sheet has " +
            std::to_string(tracks.size()) + " TRACK lines";
  cd_delete(cd);
  if (!error.empty()) return false;
  sheet = reading.Sheet;
  return true;
}

bool ReadCueSheet(const std::string& path, CueSheet& sheet, std::string& error) {
  std::int64_t fileSize = 0;
  const int fd = OpenRegularFile(path, fileSize, error);
  if (fd < 0) return false;
  if (fileSize > static_cast<std::int64_t>(kLongestSheet)) {
    ::close(fd);
    error = path + ": more than 1 MiB, not a CUE sheet";
    return false;
  }
  std::string text(static_cast<std::size_t>(fileSize), '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  const int readError = got < text.size() ? errno : 0;
  ::close(fd);
  if (got < text.size()) {
    error = path + ": cannot be read" + (readError ? std::string(": ") + std::strerror(readError) : "");
    return false;
  }
  if (!ParseCueSheet(text, sheet, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}
