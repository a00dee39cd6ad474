#include "cli/SplitSources.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "cli/Messages.h"
#include "cli/Options.h"
#include "cli/ProgressBar.h"
#include "cli/Signals.h"
#include "cli/TagOptions.h"
#include "stream/SourceFile.h"

namespace {

// "Track 05": the title of a track without one, and the name of a piece
// whose name came out empty.
std::string NumberedTrack(std::size_t index) {
  char text[32];
  std::snprintf(text, sizeof text, "Track %02zu", index + 1);
  return text;
}

std::string TrackTitle(const SplitSource& source, std::size_t index) {
  if (source.FromCue && index < source.Sheet.Tracks.size() && !source.Sheet.Tracks[index].Title.empty())
    return source.Sheet.Tracks[index].Title;
  return NumberedTrack(index);
}

// Names that Windows keeps for its devices, whatever their case and
// extension ("con.mp3", "Lpt1"): a piece of such a name could not be copied
// there.
bool WindowsDeviceName(const std::string& name) {
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
  return stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) && stem[3] >= '1' &&
         stem[3] <= '9';
}

std::string TrackPerformer(const SplitSource& source, std::size_t index) {
  if (!source.FromCue) return "";
  if (index < source.Sheet.Tracks.size() && !source.Sheet.Tracks[index].Performer.empty())
    return source.Sheet.Tracks[index].Performer;
  return source.Sheet.Performer;
}

// A length in seconds: "1.5", "1.5s", "0:02.5".
bool ParseLength(const std::string& text, const char* option, std::int64_t& ns, std::string& error) {
  StreamPoint p;
  if (!ParsePoint(text, p, error) || !p.IsTime) {
    error = std::string(option) + " \"" + text + "\": expected seconds (1.5, 1.5s) or [[H:]M:]S[.fff]";
    return false;
  }
  ns = p.Nanoseconds;
  return true;
}

// Expands the pattern for piece `index`; false for an unknown field. Without
// a source the pattern is only being checked.
bool Expand(const std::string& pattern, const SplitSource* source, std::size_t index, const std::string& stem,
            std::string& out, std::string& error) {
  out.clear();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '{') {
      out += pattern[i];
      continue;
    }
    const std::size_t close = pattern.find('}', i);
    if (close == std::string::npos) {
      error = "--name \"" + pattern + "\": a '{' is not closed";
      return false;
    }
    const std::string field = pattern.substr(i + 1, close - i - 1);
    i = close;
    std::string value;
    // {n}, or {n:0W}: zero-padded to W digits.
    if (field == "n" || (field.size() == 4 && field.rfind("n:0", 0) == 0 && field[3] >= '1' && field[3] <= '9')) {
      value = std::to_string(index + 1);
      const std::size_t width = field == "n" ? 0 : static_cast<std::size_t>(field[3] - '0');
      if (value.size() < width) value.insert(0, width - value.size(), '0');
      out += value;
      continue;
    }
    if (field == "title") {
      // A title that nothing safe is left of is the track's number.
      value = source ? TrackTitle(*source, index) : "";
      if (source && SafeFileName(value).empty()) value = NumberedTrack(index);
    } else if (field == "performer") {
      value = source ? TrackPerformer(*source, index) : "";
    } else if (field == "album") {
      value = source && source->FromCue ? source->Sheet.Title : "";
    } else if (field == "path-stem") {
      value = stem;
    } else {
      error = "--name \"" + pattern + "\": unknown field {" + field +
              "}; the fields are {n}, {n:02}, {title}, {performer}, {album} and {path-stem}";
      return false;
    }
    out += SafeFileName(value);
  }
  return true;
}

}  // namespace

bool PointsFromCue(const std::string& sheetPath, SplitSource& source, std::string& error) {
  source = SplitSource{};
  if (!ReadCueSheet(sheetPath, source.Sheet, error)) return false;
  source.FromCue = true;
  source.FirstStart.IsTime = true;
  source.FirstStart.Nanoseconds = CueFramesToNanoseconds(source.Sheet.Tracks[0].Start);
  for (std::size_t i = 1; i < source.Sheet.Tracks.size(); ++i) {
    StreamPoint p;
    p.IsTime = true;
    p.Nanoseconds = CueFramesToNanoseconds(source.Sheet.Tracks[i].Start);
    source.Points.push_back(p);
  }
  return true;
}

bool ParseSilenceSettings(const Options& options, SilenceSettings& settings, std::string& error) {
  settings = SilenceSettings{};
  if (options.HaveThreshold) {
    std::string t = options.Threshold;
    for (const char* unit : {"dBFS", "dbfs", "dB", "db"}) {
      const std::string u = unit;
      if (t.size() > u.size() && t.compare(t.size() - u.size(), u.size(), u) == 0) {
        t.resize(t.size() - u.size());
        break;
      }
    }
    char* end = nullptr;
    const double db = t.empty() ? NAN : std::strtod(t.c_str(), &end);
    if (std::isnan(db) || end == nullptr || *end != '\0' || db > 0 || db < -120) {
      error = "--threshold \"" + options.Threshold + "\": expected a level from -120 to 0 dBFS, such as -48";
      return false;
    }
    settings.ThresholdDb = db;
  }
  if (options.HaveMinSilence && !ParseLength(options.MinSilence, "--min-silence", settings.MinSilenceNs, error))
    return false;
  if (options.HaveMinSilence && settings.MinSilenceNs < 10'000'000) {
    error = "--min-silence " + options.MinSilence + ": shorter than 0.01 s, a pause inside a sound";
    return false;
  }
  return !options.HaveMinLength || ParseLength(options.MinLength, "--min-length", settings.MinPieceNs, error);
}

bool PointsFromSilence(const std::string& input, const SilenceSettings& settings, bool quiet, SplitSource& source,
                       std::string& error) {
  SourceFile file(input);
  return PointsFromSilence(file, settings, quiet, source, error);
}

bool PointsFromSilence(SourceFile& file, const SilenceSettings& settings, bool quiet, SplitSource& source,
                       std::string& error) {
  const std::string& input = file.Path();
  source = SplitSource{};
  if (!file.IsOpen()) {
    // In the words the decoder's own opening used.
    error = input + ": " + (file.NotRegular() ? "not a regular file" : std::strerror(file.OpenErrno()));
    return false;
  }
  SilenceScan scan;
  ProgressBar bar(quiet);
  bar.Start("finding silences in " + input);
  const bool found = FindSilences(
      file.Descriptor(), file.Size(), input, settings, scan, error,
      [&bar](std::int64_t done, std::int64_t total) { bar.Show(done, total); }, CancelFlag());
  bar.Clear();
  if (!found) return false;
  const std::vector<std::int64_t> points =
      SplitPointsFromSilences(scan, NanosecondsToSamples(settings.MinPieceNs, scan.SampleRate), CancelFlag());
  if (Cancelled()) {
    error = input + ": the search for silences was interrupted";
    return false;
  }
  for (std::int64_t at : points) {
    StreamPoint p;
    p.IsTime = true;
    p.Nanoseconds = SamplesToNanoseconds(at, scan.SampleRate);
    source.Points.push_back(p);
  }
  return true;
}

std::string NoSilenceFound(const SilenceSettings& settings) {
  char text[160];
  std::snprintf(text, sizeof text,
                "no silence of at least %.3g s at or below %.3g dBFS between sounds, that leaves pieces of %.3g s",
                static_cast<double>(settings.MinSilenceNs) / 1e9, settings.ThresholdDb,
                static_cast<double>(settings.MinPieceNs) / 1e9);
  return text;
}

void PrintPoints(const SplitSource& source) {
  // To the microsecond: finer than a sample at any MPEG rate, so that the
  // points given back to split name the same samples.
  for (const StreamPoint& p : source.Points) {
    const std::int64_t us = p.Nanoseconds / 1000;
    std::printf("%lld:%02lld:%02lld.%06lld\n", static_cast<long long>(us / 3'600'000'000),
                static_cast<long long>(us / 60'000'000 % 60), static_cast<long long>(us / 1'000'000 % 60),
                static_cast<long long>(us % 1'000'000));
  }
  std::fflush(stdout);
}

void PrintTracks(const SplitSource& source, std::int64_t endNs) {
  const std::vector<CueTrack>& tracks = source.Sheet.Tracks;
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const std::int64_t start = CueFramesToNanoseconds(tracks[i].Start);
    const std::int64_t end = i + 1 < tracks.size() ? CueFramesToNanoseconds(tracks[i + 1].Start) : endNs;
    const std::string length = end > start ? FormatTime(end - start) : "past the end";
    std::printf("%02zu\t%s\t%s\t%s\n", i + 1, TrackTitle(source, i).c_str(), FormatTime(start).c_str(),
                length.c_str());
  }
  std::fflush(stdout);
}

std::string SafeFileName(const std::string& text) {
  std::string out;
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    const bool unsafe = c < 0x20 || c == 0x7F || std::string("/\\:*?\"<>|").find(ch) != std::string::npos;
    out += unsafe ? '_' : ch;
  }
  while (!out.empty() && out.front() == '.') out.erase(0, 1);
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  constexpr std::size_t kLongest = 200;
  if (out.size() > kLongest) {
    std::size_t cut = kLongest;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
    out.resize(cut);
  }
  return out;
}

bool CheckNamePattern(const std::string& pattern, std::string& error) {
  std::string out;
  if (!Expand(pattern, nullptr, 0, "", out, error)) return false;
  // The pattern's own text, outside its fields, names files in -d's folder
  // and no other.
  std::string text;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '{') {
      i = pattern.find('}', i);
    } else {
      text += pattern[i];
    }
  }
  if (text.find('/') != std::string::npos || text.find("..") != std::string::npos) {
    error = "--name \"" + pattern + "\": a '/' or '..' would name a file outside the pieces' folder (-d)";
    return false;
  }
  return true;
}

std::string PatternPieceName(const std::string& pattern, const PieceNameParts& parts, const SplitSource& source,
                             std::size_t index) {
  std::string name, error;
  Expand(pattern, &source, index, parts.Stem, name, error);
  if (name.empty()) name = NumberedTrack(index);
  name += parts.Extension;
  if (WindowsDeviceName(name)) {
    // Built anew rather than inserted into: GCC 12 at -O3 warns (-Wrestrict,
    // a false positive) about the inlined insert.
    const std::size_t dot = std::min(name.find('.'), name.size());
    std::string marked = name.substr(0, dot);
    marked += '_';
    marked += name.substr(dot);
    name = marked;
  }
  return parts.Folder + name;
}

void NamePiecesByPattern(const std::string& pattern, const std::string& input, const std::string& directory,
                         const SplitSource& source, std::vector<SplitPiece>& pieces) {
  const PieceNameParts parts = PieceNamePartsOf(input, directory);
  for (std::size_t i = 0; i < pieces.size(); ++i) pieces[i].Path = PatternPieceName(pattern, parts, source, i);
}

std::string SharedPiecePath(const std::vector<SplitPiece>& pieces) {
  std::set<std::string> seen;
  for (const SplitPiece& p : pieces)
    if (!seen.insert(p.Path).second) return p.Path;
  return "";
}

std::vector<TagEdit> PieceTagEdits(const SplitSource& source, std::size_t index, std::size_t count,
                                   bool numberTracks, const std::vector<TagEdit>& userEdits) {
  std::vector<TagEdit> edits;
  const std::string track = std::to_string(index + 1) + "/" + std::to_string(count);
  if (source.FromCue) {
    edits.push_back({"title", TrackTitle(source, index)});
    const std::string artist = TrackPerformer(source, index);
    if (!artist.empty()) edits.push_back({"artist", artist});
    if (!source.Sheet.Title.empty()) edits.push_back({"album", source.Sheet.Title});
    edits.push_back({"track", track});
    if (!source.Sheet.Date.empty()) edits.push_back({"date", source.Sheet.Date});
    if (!source.Sheet.Genre.empty()) edits.push_back({"genre", source.Sheet.Genre});
  } else if (numberTracks) {
    edits.push_back({"track", track});
  }
  for (const TagEdit& e : NumberedEdits(userEdits, static_cast<int>(index + 1))) edits.push_back(e);
  return edits;
}

std::string PieceLength(const SplitPiece& piece, const FrameClock& clock, std::int64_t exactSamples) {
  const std::int64_t frames = std::int64_t{piece.Stop} - piece.Start + 1;
  const std::int64_t ns = exactSamples >= 0
                              ? SamplesToNanoseconds(exactSamples, clock.SampleRate)
                              : FrameStart(clock, std::int64_t{piece.Stop} + 1) - FrameStart(clock, piece.Start);
  return piece.Path + ": frames " + std::to_string(piece.Start) + " to " + std::to_string(piece.Stop) + " (" +
         std::to_string(frames) + " frames, " + FormatTime(ns) + ")";
}

void ReportPiece(const Options& options, const SplitPiece& piece, const FrameClock& clock,
                 std::int64_t exactSamples) {
  if (options.Quiet) return;
  std::printf("%s\n", PieceLength(piece, clock, exactSamples).c_str());
  std::fflush(stdout);
}
