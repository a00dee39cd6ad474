#include "cli/Options.h"

namespace {

bool IsCommand(const std::string& s) {
  return s == "info" || s == "count" || s == "cut" || s == "split" || s == "help";
}

// Which command may be given which option.
bool Check(const Options& o, std::string& error) {
  const std::string& c = o.Command;
  auto only = [&](bool given, const char* option, bool allowed) {
    if (given && !allowed) error = std::string(option) + " does not apply to " + c;
    return !given || allowed;
  };
  const bool writes = c == "cut" || c == "split";
  const bool split = c == "split";
  if (!only(o.HaveOutput, "-o", c == "cut" && !o.Each) ||
      !only(o.HaveDirectory, "-d", split || (c == "cut" && o.Each)) || !only(o.HaveEvery, "--every", split) ||
      !only(o.Overwrite, "--overwrite", writes) || !only(o.Append, "--append", c == "cut" && !o.Each) ||
      !only(o.NoWait, "--no-wait", writes) || !only(o.TagsGiven, "--tags", writes) ||
      !only(o.NoTags, "--no-tags", writes) || !only(o.HaveRange, "--range", c == "cut") ||
      !only(o.Json, "--json", c == "info") ||
      !only(o.Frames, "--frames", writes) || !only(o.HaveCue, "--cue", split) ||
      !only(o.Silence, "--silence", split) || !only(o.HaveThreshold, "--threshold", split && o.Silence) ||
      !only(o.HaveMinSilence, "--min-silence", split && o.Silence) ||
      !only(o.HaveMinLength, "--min-length", split && o.Silence) ||
      !only(o.DryRun, "--dry-run", split && (o.Silence || o.HaveCue)) || !only(o.HaveName, "--name", split) ||
      !only(!o.TagEdits.empty(), "--tag", writes) || !only(o.Each, "--each", c == "cut") ||
      !only(o.HaveGain, "--gain", c == "cut") || !only(o.HaveFadeIn, "--fade-in", c == "cut") ||
      !only(o.HaveFadeOut, "--fade-out", c == "cut"))
    return false;
  if (c == "help") {
    if (o.Operands.size() > 1 || (o.Operands.size() == 1 && (!IsCommand(o.Operands[0]) || o.Operands[0] == "help")))
      error = "help takes one of info, count, cut, split";
    return error.empty();
  }
  if (o.TagsGiven && o.NoTags) {
    error = "--tags and --no-tags exclude each other";
    return false;
  }
  if (c == "info" || c == "count") {
    if (o.Operands.size() != 1) error = c + " takes exactly one PATH";
    return o.Operands.size() == 1;
  }
  if (o.Append && o.Overwrite) {
    error = "--append and --overwrite exclude each other";
    return false;
  }
  if (c == "cut" && o.Each) {
    if (!o.HaveDirectory || o.Directory.empty()) {
      error = "cut --each needs -d DIR";
    } else if (o.Operands.empty()) {
      error = "cut needs at least one JOB";
    }
    return error.empty();
  }
  if (c == "cut") {
    if (!o.HaveOutput || o.Output.empty()) {
      error = "cut needs -o OUTPUT";
    } else if (o.Output == "-" && !o.TagEdits.empty()) {
      error = "--tag needs an output file: standard output cannot be tagged once it is written";
    } else if (o.Operands.empty()) {
      error = "cut needs at least one JOB";
    }
    return error.empty();
  }
  const int modes = (o.HaveEvery ? 1 : 0) + (o.HaveCue ? 1 : 0) + (o.Silence ? 1 : 0);
  const bool pointsGiven = o.Operands.size() > 1;
  if (o.Operands.empty()) {
    error = "split needs a PATH";
  } else if (modes > 1) {
    error = "split takes one of --every, --cue and --silence";
  } else if (modes == 1 && pointsGiven) {
    error = std::string("split takes either ") +
            (o.HaveEvery ? "--every DURATION" : o.HaveCue ? "--cue SHEET" : "--silence") + " or POINTs, not both";
  } else if (modes == 0 && !pointsGiven) {
    error = "split needs at least one POINT, or --every DURATION, --cue SHEET or --silence";
  } else if (o.HaveDirectory && o.Directory.empty()) {
    error = "-d needs a DIR";
  } else if (o.HaveCue && o.Cue.empty()) {
    error = "--cue needs a SHEET";
  } else if (o.HaveName && o.Name.empty()) {
    error = "--name needs a PATTERN";
  }
  return error.empty();
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
  options = Options{};
  bool optionsEnd = false;
  std::vector<std::string> words;
  for (std::size_t i = 0; i < args.size(); ++i) {
    // "--name=value" is "--name value"; a short option or a flag takes no '='.
    std::string a = args[i];
    std::string inlineValue;
    bool hasInline = false;
    if (!optionsEnd && a.rfind("--", 0) == 0 && a.find('=') != std::string::npos) {
      inlineValue = a.substr(a.find('=') + 1);
      a = a.substr(0, a.find('='));
      hasInline = true;
    }
    auto value = [&](std::string& into, bool& have, const char* name) {
      if (!hasInline && i + 1 == args.size()) {
        error = std::string(name) + " needs a value";
        return false;
      }
      if (have) {
        error = std::string("only one ") + name;
        return false;
      }
      into = hasInline ? inlineValue : args[++i];
      hasInline = false;
      have = true;
      return true;
    };
    auto flag = [&](bool& into) {
      into = true;
      if (hasInline) error = a + " takes no value";
      return !hasInline;
    };
    bool ok = true;
    if (optionsEnd || a.size() < 2 || a[0] != '-') {
      words.push_back(args[i]);
    } else if (a == "--") {
      optionsEnd = true;
    } else if (a == "--help" || a == "-h") {
      ok = flag(options.Help);
    } else if (a == "--version") {
      ok = flag(options.Version);
    } else if (a == "-o" || a == "--output") {
      ok = value(options.Output, options.HaveOutput, "-o OUTPUT");
    } else if (a == "-d" || a == "--dir") {
      ok = value(options.Directory, options.HaveDirectory, "-d DIR");
    } else if (a == "--every") {
      ok = value(options.Every, options.HaveEvery, "--every LENGTH");
    } else if (a == "--cue") {
      ok = value(options.Cue, options.HaveCue, "--cue SHEET");
    } else if (a == "--silence") {
      ok = flag(options.Silence);
    } else if (a == "--threshold") {
      ok = value(options.Threshold, options.HaveThreshold, "--threshold DB");
    } else if (a == "--min-silence") {
      ok = value(options.MinSilence, options.HaveMinSilence, "--min-silence SECONDS");
    } else if (a == "--min-length") {
      ok = value(options.MinLength, options.HaveMinLength, "--min-length SECONDS");
    } else if (a == "--dry-run") {
      ok = flag(options.DryRun);
    } else if (a == "--name") {
      ok = value(options.Name, options.HaveName, "--name PATTERN");
    } else if (a == "--range") {
      ok = value(options.Range, options.HaveRange, "--range START-STOP");
    } else if (a == "--tag") {
      std::string edit;
      bool have = false;
      ok = value(edit, have, "--tag KEY=VALUE");
      if (ok) options.TagEdits.push_back(edit);
    } else if (a == "--each") {
      ok = flag(options.Each);
    } else if (a == "--overwrite") {
      ok = flag(options.Overwrite);
    } else if (a == "--append") {
      ok = flag(options.Append);
    } else if (a == "--no-wait") {
      ok = flag(options.NoWait);
    } else if (a == "--any-bitrate") {
      bool given = false;
      ok = flag(given);
    } else if (a == "--one-bitrate") {
      ok = flag(options.OneBitRate);
    } else if (a == "--gain") {
      ok = value(options.Gain, options.HaveGain, "--gain DB");
    } else if (a == "--fade-in") {
      ok = value(options.FadeIn, options.HaveFadeIn, "--fade-in DURATION");
    } else if (a == "--fade-out") {
      ok = value(options.FadeOut, options.HaveFadeOut, "--fade-out DURATION");
    } else if (a == "--frames") {
      ok = flag(options.Frames);
    } else if (a == "--tags") {
      ok = flag(options.TagsGiven);
    } else if (a == "--no-tags") {
      ok = flag(options.NoTags);
    } else if (a == "--json") {
      ok = flag(options.Json);
    } else if (a == "-q" || a == "--quiet") {
      ok = flag(options.Quiet);
    } else {
      error = "unknown option " + a;
      return false;
    }
    if (!ok) return false;
  }
  options.AnyBitRate = !options.OneBitRate;
  options.Tags = !options.NoTags;
  if (!words.empty() && IsCommand(words[0])) {
    options.Command = words[0];
    options.Operands.assign(words.begin() + 1, words.end());
  }
  // "cut --help" is cut's help, whatever else is on the line.
  if (options.Help && options.Command.empty()) {
    options.Command = "help";
    return true;
  }
  if (options.Help && options.Command == "help") return true;  // "help cut --help": cut's
  if (options.Help || options.Version) return true;
  if (words.empty()) {
    error = "no command given";
    return false;
  }
  if (options.Command.empty()) {
    error = "unknown command " + words[0];
    return false;
  }
  return Check(options, error);
}
