#include "album/CueText.h"

#include <cstdint>
#include <set>

namespace {

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

bool Space(char c) { return c == ' ' || c == '\t'; }

std::string Trimmed(const std::string& s) {
  std::size_t begin = 0, end = s.size();
  while (begin < end && Space(s[begin])) ++begin;
  while (end > begin && Space(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

// The first word of `rest`, taken off it.
std::string TakeWord(std::string& rest) {
  rest = Trimmed(rest);
  std::size_t end = 0;
  while (end < rest.size() && !Space(rest[end])) ++end;
  std::string word = rest.substr(0, end);
  rest = Trimmed(rest.substr(end));
  return word;
}

std::string LinePrefix(int line) { return "line " + std::to_string(line) + ": "; }

// A value: in quotes, to the line's last quote, with \" read as a quote; else
// the rest of the line. `after` gets what follows the closing quote.
bool TakeValue(const std::string& rest, int line, std::string& value, std::string& after,
               std::string& error) {
  after.clear();
  if (rest.empty() || rest[0] != '"') {
    value = rest;
    return true;
  }
  const std::size_t close = rest.rfind('"');
  if (close == 0) {
    error = LinePrefix(line) + "a quoted text is not closed on its line";
    return false;
  }
  value.clear();
  for (std::size_t i = 1; i < close; ++i) {
    if (rest[i] == '\\' && i + 1 < close && rest[i + 1] == '"') ++i;
    value += rest[i];
  }
  after = Trimmed(rest.substr(close + 1));
  return true;
}

// mm:ss:ff with ss below 60, ff below 75 and mm at most kCueMostMinutes, as
// CD frames.
bool CdTime(const std::string& time, std::int64_t& frames) {
  std::int64_t parts[3] = {0, 0, 0};
  std::size_t field = 0, digits = 0;
  for (char c : time) {
    if (c == ':') {
      if (digits == 0 || ++field > 2) return false;
      digits = 0;
    } else if (c >= '0' && c <= '9') {
      if (++digits > 6) return false;
      parts[field] = parts[field] * 10 + (c - '0');
    } else {
      return false;
    }
  }
  if (field != 2 || digits == 0 || parts[1] >= 60 || parts[2] >= kCueFramesPerSecond) return false;
  frames = (parts[0] * 60 + parts[1]) * kCueFramesPerSecond + parts[2];
  return parts[0] <= kCueMostMinutes;
}

bool Number(const std::string& word, int most, int& n) {
  if (word.empty() || word.size() > 3) return false;
  n = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  return n <= most;
}

const std::set<std::string> kTrackModes = {"AUDIO",      "CDG",        "MODE1/2048", "MODE1/2352",
                                           "MODE2/2336", "MODE2/2352", "CDI/2336",   "CDI/2352"};
// Lines whose values a split does not use; they are checked only for a
// closed quote.
const std::set<std::string> kOtherKeywords = {"CATALOG", "CDTEXTFILE", "FLAGS",    "ISRC",     "PREGAP",
                                              "POSTGAP", "SONGWRITER", "ARRANGER", "COMPOSER", "MESSAGE"};

struct Reader {
  CueReading& Out;
  std::string& Error;
  int Files = 0;
  int Line = 0;
  int IndexOneLine = 0;  // of the current track, 0 before its INDEX 01

  CueTrack* Current() { return Out.Sheet.Tracks.empty() ? nullptr : &Out.Sheet.Tracks.back(); }

  bool Fail(const std::string& why) {
    Error = LinePrefix(Line) + why;
    return false;
  }

  bool TrackHasStart() {
    if (Current() == nullptr || IndexOneLine > 0) return true;
    Line = Out.TrackLines.back();
    return Fail("track " + std::to_string(Out.Sheet.Tracks.size()) + " has no INDEX 01");
  }

  // One line, without its line end: what it says goes into the sheet, its
  // form for the CUE library into `structure`.
  bool Read(const std::string& text, std::string& structure) {
    std::string rest = text;
    const std::string word = TakeWord(rest);
    const std::string keyword = Upper(word);
    std::string value, after;
    if (keyword.empty()) return true;
    if (keyword == "TITLE" || keyword == "PERFORMER") {
      if (!TakeValue(rest, Line, value, after, Error)) return false;
      if (!after.empty()) return Fail("text after the closing quote of " + keyword);
      CueTrack* track = Current();
      std::string& field = keyword == "TITLE" ? (track ? track->Title : Out.Sheet.Title)
                                              : (track ? track->Performer : Out.Sheet.Performer);
      field = value;
      return true;
    }
    if (keyword == "REM") {
      const std::string what = Upper(TakeWord(rest));
      if (!TakeValue(rest, Line, value, after, Error)) return false;
      // Only the album's date and genre go into the pieces.
      if (Current() == nullptr && what == "DATE") Out.Sheet.Date = value;
      if (Current() == nullptr && what == "GENRE") Out.Sheet.Genre = value;
      return true;
    }
    if (keyword == "FILE") {
      if (++Files > 1)
        return Fail("the sheet names 2 files (FILE lines); only a sheet of one file can split it");
      if (!rest.empty() && rest[0] == '"') {
        if (!TakeValue(rest, Line, value, after, Error)) return false;
      } else {
        value = TakeWord(rest);
        after = rest;
      }
      if (value.empty() || after.empty())
        return Fail("FILE without a name and a type (FILE \"album.wav\" WAVE)");
      Out.Sheet.File = value;
      structure = "FILE \"file\" WAVE";
      return true;
    }
    if (keyword == "TRACK") {
      int number = 0;
      const std::string digits = TakeWord(rest);
      const std::string mode = Upper(TakeWord(rest));
      if (!Number(digits, 999, number) || number == 0 || kTrackModes.count(mode) == 0 || !rest.empty())
        return Fail("\"" + text + "\" is no TRACK line (TRACK 01 AUDIO)");
      if (!TrackHasStart()) return false;
      if (static_cast<int>(Out.Sheet.Tracks.size()) == kCueMostTracks)
        return Fail("a CUE sheet holds at most 99 tracks");
      if (Files == 0) return Fail("a TRACK before the FILE line");
      Out.Sheet.Tracks.emplace_back();
      Out.TrackLines.push_back(Line);
      IndexOneLine = 0;
      structure = "TRACK " + std::to_string(number) + " AUDIO";
      return true;
    }
    if (keyword == "INDEX") {
      int number = 0;
      std::int64_t frames = 0;
      const std::string digits = TakeWord(rest);
      const std::string time = TakeWord(rest);
      if (!Number(digits, 99, number) || !rest.empty())
        return Fail("\"" + text + "\" is no INDEX line (INDEX 01 mm:ss:ff)");
      if (!CdTime(time, frames)) {
        return Fail("INDEX " + digits + " " + time + " is not mm:ss:ff (seconds 00 to 59, frames 00 to 74, " +
                    "minutes at most " + std::to_string(kCueMostMinutes) + ")");
      }
      if (Current() == nullptr) return Fail("an INDEX before any TRACK");
      if (number == 1) {
        if (IndexOneLine > 0)
          return Fail("a second INDEX 01 in track " + std::to_string(Out.TrackLines.size()));
        IndexOneLine = Line;
        Current()->Start = frames;
      }
      structure = "INDEX " + digits + " " + time;
      return true;
    }
    if (kOtherKeywords.count(keyword) > 0) {
      if (!rest.empty() && rest[0] == '"' && rest.rfind('"') == 0)
        return Fail("a quoted text is not closed on its line");
      return true;
    }
    return Fail("not a CUE sheet line (\"" + word + "\" is no keyword of a sheet)");
  }
};

}  // namespace

bool ReadCueText(const std::string& text, CueReading& reading, std::string& error) {
  reading = CueReading{};
  Reader reader{reading, error};
  for (std::size_t begin = 0; begin <= text.size();) {
    std::size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string::npos) end = text.size();
    ++reader.Line;
    std::string structure;
    if (!reader.Read(text.substr(begin, end - begin), structure)) return false;
    reading.Structure += structure + "\n";
    if (end == text.size()) break;
    begin = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  if (!reader.TrackHasStart()) return false;
  if (reading.Sheet.Tracks.empty()) {
    error = "the sheet holds no TRACK";
    return false;
  }
  return true;
}
