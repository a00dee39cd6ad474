#include "cli/Options.h"

namespace {

bool IsCommand(const std::string& s) { return s == "info" || s == "count" || s == "cut" || s == "split"; }

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
      !only(o.NoWait, "--no-wait", writes) || !only(o.Tags, "--tags", writes) ||
      !only(o.Frames, "--frames", writes) || !only(o.HaveCue, "--cue", split) ||
      !only(o.Silence, "--silence", split) || !only(o.HaveThreshold, "--threshold", split && o.Silence) ||
      !only(o.HaveMinSilence, "--min-silence", split && o.Silence) ||
      !only(o.HaveMinLength, "--min-length", split && o.Silence) ||
      !only(o.DryRun, "--dry-run", split && (o.Silence || o.HaveCue)) || !only(o.HaveName, "--name", split) ||
      !only(!o.TagEdits.empty(), "--tag", writes) || !only(o.Each, "--each", c == "cut"))
    return false;
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
    const std::string& a = args[i];
    auto value = [&](std::string& into, bool& have, const char* name) {
      if (i + 1 == args.size()) {
        error = std::string(name) + " needs a value";
        return false;
      }
      if (have) {
        error = std::string("only one ") + name;
        return false;
      }
      into = args[++i];
      have = true;
      return true;
    };
    if (optionsEnd || a.size() < 2 || a[0] != '-') {
      words.push_back(a);
    } else if (a == "--") {
      optionsEnd = true;
    } else if (a == "--help" || a == "-h") {
      options.Help = true;
    } else if (a == "--version") {
      options.Version = true;
    } else if (a == "-o") {
      if (!value(options.Output, options.HaveOutput, "-o OUTPUT")) return false;
    } else if (a == "-d") {
      if (!value(options.Directory, options.HaveDirectory, "-d DIR")) return false;
    } else if (a == "--every") {
      if (!value(options.Every, options.HaveEvery, "--every DURATION")) return false;
    } else if (a == "--cue") {
      if (!value(options.Cue, options.HaveCue, "--cue SHEET")) return false;
    } else if (a == "--silence") {
      options.Silence = true;
    } else if (a == "--threshold") {
      if (!value(options.Threshold, options.HaveThreshold, "--threshold DB")) return false;
    } else if (a == "--min-silence") {
      if (!value(options.MinSilence, options.HaveMinSilence, "--min-silence SECONDS")) return false;
    } else if (a == "--min-length") {
      if (!value(options.MinLength, options.HaveMinLength, "--min-length SECONDS")) return false;
    } else if (a == "--dry-run") {
      options.DryRun = true;
    } else if (a == "--name") {
      if (!value(options.Name, options.HaveName, "--name PATTERN")) return false;
    } else if (a == "--tag") {
      std::string edit;
      bool have = false;
      if (!value(edit, have, "--tag KEY=VALUE")) return false;
      options.TagEdits.push_back(edit);
    } else if (a == "--each") {
      options.Each = true;
    } else if (a == "--overwrite") {
      options.Overwrite = true;
    } else if (a == "--append") {
      options.Append = true;
    } else if (a == "--no-wait") {
      options.NoWait = true;
    } else if (a == "--any-bitrate") {
      options.AnyBitRate = true;
    } else if (a == "--frames") {
      options.Frames = true;
    } else if (a == "--tags") {
      options.Tags = true;
    } else if (a == "-q" || a == "--quiet") {
      options.Quiet = true;
    } else {
      error = "unknown option " + a;
      return false;
    }
  }
  if (options.Help || options.Version) return true;
  if (words.empty()) {
    error = "no command given";
    return false;
  }
  if (!IsCommand(words[0])) {
    error = "unknown command " + words[0];
    return false;
  }
  options.Command = words[0];
  options.Operands.assign(words.begin() + 1, words.end());
  return Check(options, error);
}
