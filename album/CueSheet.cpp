#include "album/CueSheet.h"

#include <fcntl.h>
#include <libcue.h>
#include <sys/stat.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "album/RegularFile.h"

namespace {

constexpr std::size_t kLongestSheet = 1 << 20;

bool ValidUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const int more = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : -1;
    if (more < 0 || (more > 0 && i + static_cast<std::size_t>(more) >= s.size())) return false;
    for (int k = 1; k <= more; ++k)
      if ((static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) >> 6) != 0x2) return false;
    i += static_cast<std::size_t>(more) + 1;
  }
  return true;
}

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

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// The checks libcue leaves to its callers: how many FILE and TRACK lines the
// sheet has, and whether every INDEX is a real CD time.
bool CheckLines(const std::string& text, std::string& error) {
  std::istringstream in(text);
  int files = 0, tracks = 0, number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    std::istringstream words(line);
    std::string keyword, index, time;
    words >> keyword;
    keyword = Upper(keyword);
    if (keyword == "FILE") ++files;
    if (keyword == "TRACK") ++tracks;
    if (keyword != "INDEX") continue;
    words >> index >> time;
    unsigned m = 0, s = 0, f = 0;
    char c1 = 0, c2 = 0;
    std::istringstream t(time);
    if (!(t >> m >> c1 >> s >> c2 >> f) || c1 != ':' || c2 != ':' || !t.eof() || s >= 60 ||
        f >= kCueFramesPerSecond) {
      error = "line " + std::to_string(number) + ": INDEX " + index + " " + time +
              " is not mm:ss:ff (seconds 00 to 59, frames 00 to 74)";
      return false;
    }
  }
  if (files > 1) {
    error = "the sheet names " + std::to_string(files) +
            " files (FILE lines); only a sheet of one file can split it";
    return false;
  }
  if (tracks == 0) {
    error = "the sheet holds no TRACK";
    return false;
  }
  return true;
}

// libcue unescapes nothing; sheets escape quotes inside quoted text.
std::string Text(const char* s) {
  std::string out = s ? s : "";
  for (std::size_t at; (at = out.find("\\\"")) != std::string::npos;) out.erase(at, 1);
  return out;
}

// libcue reports parse errors on standard error; they are caught in a memory
// file instead, and the first one goes into our own message.
Cd* ParseQuietly(const std::string& text, std::string& complaint) {
  std::fflush(stderr);
  const int saved = ::dup(STDERR_FILENO);
  const int sink = ::memfd_create("libcue-errors", MFD_CLOEXEC);
  if (saved >= 0 && sink >= 0) ::dup2(sink, STDERR_FILENO);
  Cd* cd = cue_parse_string(text.c_str());
  std::fflush(stderr);
  if (saved >= 0 && sink >= 0) {
    ::dup2(saved, STDERR_FILENO);
    char buffer[256] = {};
    const ssize_t n = ::pread(sink, buffer, sizeof buffer - 1, 0);
    complaint.assign(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    complaint = complaint.substr(0, complaint.find('\n'));
  }
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
  if (!ValidUtf8(text)) text = Latin1ToUtf8(text);
  if (text.find('\0') != std::string::npos) {
    error = "not a CUE sheet (it holds NUL bytes)";
    return false;
  }
  if (!CheckLines(text, error)) return false;
  std::string complaint;
  Cd* cd = ParseQuietly(text, complaint);
  if (cd == nullptr) {
    error = "not a CUE sheet that can be read" + (complaint.empty() ? "" : " (line " + complaint + ")");
    return false;
  }
  const Cdtext* album = cd_get_cdtext(cd);
  sheet.Title = Text(cdtext_get(PTI_TITLE, album));
  sheet.Performer = Text(cdtext_get(PTI_PERFORMER, album));
  sheet.Genre = Text(cdtext_get(PTI_GENRE, album));
  sheet.Date = Text(rem_get(REM_DATE, cd_get_rem(cd)));
  const int count = cd_get_ntrack(cd);
  for (int i = 1; i <= count && error.empty(); ++i) {
    const Track* t = cd_get_track(cd, i);
    CueTrack track;
    track.Title = Text(cdtext_get(PTI_TITLE, track_get_cdtext(t)));
    track.Performer = Text(cdtext_get(PTI_PERFORMER, track_get_cdtext(t)));
    track.Start = track_get_index(t, 1);
    if (i == 1) sheet.File = Text(track_get_filename(t));
    if (track.Start < 0) {
      error = "track " + std::to_string(i) + " has no INDEX 01";
    } else if (!sheet.Tracks.empty() && track.Start <= sheet.Tracks.back().Start) {
      error = "track " + std::to_string(i) + " does not start after track " + std::to_string(i - 1);
    }
    sheet.Tracks.push_back(track);
  }
  cd_delete(cd);
  if (error.empty() && sheet.Tracks.empty()) error = "the sheet holds no TRACK";
  return error.empty();
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
