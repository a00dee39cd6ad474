#include "cli/Help.h"

#include <string>

// The build may pass the version as a bare token (1.2.0) or as a string
// literal ("1.2.0"): made text either way, and unquoted below.
#define KERFWELL_TEXT(x) KERFWELL_TEXT2(x)
#define KERFWELL_TEXT2(x) #x

namespace {

const char kGeneral[] =
    "Usage: kerfwell-cut info [--json] PATH     stream properties, length, bit rate\n"
    "       kerfwell-cut count PATH             the number of valid frames\n"
    "       kerfwell-cut cut -o OUTPUT JOB...  |  cut --each -d DIR JOB...\n"
    "       kerfwell-cut split [-d DIR] PATH POINT...  |  split --every LENGTH PATH\n"
    "       kerfwell-cut split --cue SHEET PATH  |  split --silence PATH\n"
    "       kerfwell-cut help COMMAND  |  COMMAND --help   every option of a command\n"
    "Cuts MPEG audio (MPEG-1/2, Layers I-III) by copying frames, never re-encoding.\n"
    "\n"
    "JOB is PATH (the whole file) or PATH@START-STOP (the last '@' splits). START,\n"
    "STOP, POINT and LENGTH are times as gapless players count them: seconds (90,\n"
    "90.25, 90.25s) or [[H:]M:]S[.fff] (1:30, 0:01:30.250); or frame indexes with\n"
    "an f (0f is the first frame; a frame STOP is included). Either end may be\n"
    "left out: it runs from the start or to the end. STOP may be end-TIME.\n"
    "  song.mp3@90-120  song.mp3@1:30-2:00  song.mp3@100f-499f  song.mp3@0:10-end-5\n"
    "Every frame is copied, whatever its bit rate (VBR files too); the input's\n"
    "tags (title, artist, album, cover...) go into the outputs unless --no-tags.\n"
    "An existing output is refused unless --append or --overwrite; a run locks its\n"
    "output (a second one waits, unless --no-wait). An output takes its name only\n"
    "when the whole run succeeded: a failed or stopped run leaves it as it was.\n"
    "A file without a valid frame\n"
    "header in its first 2 MiB is refused with \"Is Something Strange With This\n"
    "File !\" and the reason. Exit status: 0 when everything was done, 1 when an\n"
    "input was refused, a frame was left out or an I/O operation failed, 2 for a\n"
    "usage error, 128 + the signal's number when interrupted (Ctrl-C 130).\n"
    "Options take their value as the next argument or after '=' (--every=60).\n"
    "The manual page kerfwell-cut(1) says it all at length.\n";

const char kInfo[] =
    "Usage: kerfwell-cut info [--json] PATH\n"
    "Prints the stream's properties: version, layer, bit rate (the average, and\n"
    "VBR, when the frames have several), sampling frequency, mode, the number of\n"
    "frames (Copyable: those of the first frame's bit rate, which the window\n"
    "copies), the length as h:mm:ss.mmm played by a gapless player, its samples.\n"
    "  --json          every field as one JSON object, for scripts\n"
    "  --one-bitrate, --any-bitrate   accepted: they change no field\n";

const char kCount[] =
    "Usage: kerfwell-cut count PATH\n"
    "Prints the number of valid frames of the stream (its Xing/Info frame included).\n"
    "  --one-bitrate, --any-bitrate   accepted: the count is the same\n";

const char kCut[] =
    "Usage: kerfwell-cut cut -o OUTPUT [OPTION]... JOB...\n"
    "       kerfwell-cut cut --each -d DIR [OPTION]... JOB...\n"
    "Writes every JOB in order to OUTPUT (with --each: each JOB to DIR/its name).\n"
    "JOB is PATH or PATH@START-STOP; START and STOP are seconds (90, 90.25s),\n"
    "[[H:]M:]S[.fff] (1:30) or frames with an f (100f-499f, both included); STOP\n"
    "may be end-TIME. A Layer III time cut of one JOB into a new OUTPUT decodes to\n"
    "exactly its samples; frame ranges, --frames and joins copy whole frames.\n"
    "  -o, --output OUTPUT  the file to write (made with missing folders); - is\n"
    "                       standard output\n"
    "  --each          each JOB into its own file, in DIR\n"
    "  -d, --dir DIR   the folder of --each\n"
    "  --range START-STOP  every JOB is a PATH cut to this range: with a shell glob,\n"
    "                  cut --each -d trimmed --range 0:05- folder/*.mp3\n"
    "  --append        add to an existing OUTPUT\n"
    "  --overwrite     replace an existing OUTPUT once the run has succeeded\n"
    "  --no-wait       fail instead of waiting for a run that holds OUTPUT\n"
    "  --no-tags       do not copy the first input's ID3v2/ID3v1 tags\n"
    "  --tag KEY=VALUE set title, artist, album, track, date, genre or comment\n"
    "  --one-bitrate   leave out and report frames not of the first frame's length\n"
    "  --frames        copy whole frames even for a time cut\n"
    "  --gain DB       louder or softer without re-encoding, in 1.5 dB steps (-6dB)\n"
    "  --fade-in DURATION, --fade-out DURATION  a fade of up to 30 s, likewise\n"
    "  --tags, --any-bitrate   accepted: they are the default\n"
    "  -q, --quiet     no progress bar\n";

const char kSplit[] =
    "Usage: kerfwell-cut split [OPTION]... PATH POINT...\n"
    "       kerfwell-cut split --every LENGTH | --cue SHEET | --silence [OPT]... PATH\n"
    "Writes NAME_01.EXT, NAME_02.EXT, ... beside PATH (or in DIR), a piece from the\n"
    "start and from each POINT. POINT and LENGTH are seconds (90, 90.25s),\n"
    "[[H:]M:]S[.fff] (12:30) or frames with an f (4000f). Layer III pieces decode\n"
    "to exactly their samples and play back to back as the whole.\n"
    "  -d, --dir DIR   write the pieces in DIR (made when missing)\n"
    "  --every LENGTH  pieces of LENGTH each (60, 10:00, 1000f)\n"
    "  --cue SHEET     a piece per TRACK of the CUE sheet, titled and numbered\n"
    "  --name PATTERN  piece names: {n} {n:02} {title} {performer} {album}\n"
    "                  {path-stem} (default with --cue: \"{n:02} - {title}\")\n"
    "  --silence       split amid silences, with\n"
    "  --threshold DB  the level below which sound is silence (-48 dBFS)\n"
    "  --min-silence SECONDS  the shortest silence split at (1.5)\n"
    "  --min-length SECONDS   the shortest piece (10)\n"
    "  --dry-run       with --cue or --silence: print the pieces, write nothing\n"
    "  --overwrite     replace existing pieces\n"
    "  --no-wait       fail instead of waiting for a run that holds a piece\n"
    "  --no-tags       pieces without the input's tags and track numbers n/N\n"
    "  --tag KEY=VALUE set a field in every piece ({n}: the piece's number)\n"
    "  --one-bitrate   leave out and report frames not of the first frame's length\n"
    "  --frames        pieces of whole frames, not sample-exact\n"
    "  --tags, --any-bitrate   accepted: they are the default\n"
    "  -q, --quiet     no progress bar\n";

}  // namespace

std::string HelpText(const std::string& command) {
  if (command == "info") return kInfo;
  if (command == "count") return kCount;
  if (command == "cut") return kCut;
  if (command == "split") return kSplit;
  return kGeneral;
}

std::string VersionText() {
#ifdef KERFWELL_VERSION
  std::string version = KERFWELL_TEXT(KERFWELL_VERSION);
#else
  std::string version = "1.0";
#endif
  if (version.size() >= 2 && version.front() == '"' && version.back() == '"')
    version = version.substr(1, version.size() - 2);
  return "kerfwell-cut " + version + "\n";
}
