// The CUE sheet reader on arbitrary text. A sheet is read whole or refused:
// what it accepts agrees with the sheet's own lines, counted here apart from
// the reader.
//
// Invariants, for a sheet that is accepted:
//  - one track for every TRACK line (keywords in any case, lines ending in
//    CR, LF or CRLF), at most 99;
//  - each track starts at the mm:ss:ff of the first INDEX 01 line after its
//    TRACK line, and after the track before it;
//  - no text holds a line end (no value ran on into the next line) and every
//    text is valid UTF-8.
// A refusal names a line of the sheet, but for a sheet without TRACK, with
// NUL bytes, or one the CUE library reads otherwise.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "album/CueSheet.h"
#include "album/Utf8.h"
#include "fuzz/FuzzCheck.h"

namespace {

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  for (char c : line + " ") {
    if (c == ' ' || c == '\t') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  return words;
}

bool Keyword(const std::string& word, const char* upper) {
  std::string u = word;
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return u == upper;
}

// mm:ss:ff as CD frames; -1 for anything else.
std::int64_t Time(const std::string& text) {
  unsigned long m = 0, s = 0, f = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%lu:%lu:%lu%c", &m, &s, &f, &tail) != 3) return -1;
  return static_cast<std::int64_t>((m * 60 + s) * 75 + f);
}

bool ValidText(const std::string& text) {
  std::size_t at = 0;
  return text.find_first_of("\r\n") == std::string::npos && CheckUtf8(text, at) == Utf8Form::Valid;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  CueSheet sheet;
  std::string error;
  if (!ParseCueSheet(text, sheet, error)) {
    FUZZ_CHECK(!error.empty(), "a refusal without a reason");
    return 0;
  }
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  // The sheet's lines, counted apart from the reader.
  std::vector<std::int64_t> starts;  // of each TRACK line's first INDEX 01; -1 before it
  for (std::size_t begin = 0; begin <= text.size();) {
    std::size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string::npos) end = text.size();
    const std::vector<std::string> words = Words(text.substr(begin, end - begin));
    if (!words.empty() && Keyword(words[0], "TRACK")) starts.push_back(-1);
    if (words.size() == 3 && Keyword(words[0], "INDEX") && !starts.empty() && starts.back() < 0 &&
        std::strtol(words[1].c_str(), nullptr, 10) == 1)
      starts.back() = Time(words[2]);
    if (end == text.size()) break;
    begin = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  FUZZ_CHECK(sheet.Tracks.size() == starts.size(), "%zu tracks read of %zu TRACK lines", sheet.Tracks.size(),
             starts.size());
  FUZZ_CHECK(sheet.Tracks.size() <= 99, "%zu tracks", sheet.Tracks.size());
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const CueTrack& t = sheet.Tracks[i];
    FUZZ_CHECK(t.Start == starts[i], "track %zu starts at %lld, its INDEX 01 says %lld", i + 1,
               static_cast<long long>(t.Start), static_cast<long long>(starts[i]));
    FUZZ_CHECK(i == 0 || t.Start > sheet.Tracks[i - 1].Start, "track %zu does not climb", i + 1);
    FUZZ_CHECK(ValidText(t.Title) && ValidText(t.Performer), "track %zu's texts run past their line", i + 1);
  }
  FUZZ_CHECK(ValidText(sheet.Title) && ValidText(sheet.Performer) && ValidText(sheet.Date) &&
                 ValidText(sheet.Genre) && ValidText(sheet.File),
             "an album text runs past its line");
  return 0;
}
