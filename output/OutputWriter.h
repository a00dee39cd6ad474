#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "output/InfoCounter.h"
#include "output/Junction.h"
#include "output/OutputLock.h"
#include "output/ReservedTagFrame.h"
#include "stream/FrameSink.h"
#include "stream/XingFrame.h"

// The one way a cut's output is written, by the command line and the window.
// Every output is a transaction:
//  - a new output, and the replacement of an existing one, is written into an
//    unnamed file beside it (a hidden named one, locked while it is written,
//    where the file system cannot make unnamed files), tags included, and put
//    under its name only by Commit; Discard, or a run that dies, leaves the
//    path as it was. Missing folders of a new output are made by Commit.
//  - only an append writes in place, and Discard cuts it back to what the
//    output held;
//  - an existing output is locked for the whole run, tags and rename
//    included (a second run waits, or is refused with NoWait);
//  - before appending, an output is checked: one that ends with a trailing
//    tag is refused (the new frames would land behind it), one that ends in a
//    partial frame right after its frames (a run that was killed) is cut back
//    to its last whole frame, and one that ends in anything else is refused;
//  - an output that starts with a Xing/Info frame gets it rewritten at the end
//    from counts kept while the frames passed, with one pwrite; a new Layer III
//    output may have one reserved in front of its first audio frame;
//  - standard output is written to an unnamed file first, so that the tag
//    frame can still be filled before any byte is delivered.

enum class ExistingOutput {
  Refuse,     // an output that holds anything is refused
  Append,     // frames go after what it holds
  Overwrite,  // a new file replaces it when the run is committed
};

struct OutputSettings {
  ExistingOutput Existing = ExistingOutput::Append;
  bool NoWait = false;
  // A new output whose first frame is a Layer III audio frame (not a tag
  // frame of its own) gets a tag frame reserved in front of it: "Xing" when
  // its frames turn out to have several bit rates, else "Info".
  bool ReserveTagFrame = false;
  // With ReserveTagFrame: the tag frame carries a LAME extension with these.
  bool Lame = false;
  LameFields LameValues;
  // Where a later job's reservoir does not fit the free bytes before it, the
  // frame before may take a higher bit rate (else frames are muted).
  bool WidenAtJunctions = false;
  const std::atomic<bool>* Cancel = nullptr;          // ends a wait for the lock
  std::function<void(const std::string&)> OnWait;     // told once when waiting
};

enum class OutputStatus {
  Ok,
  NotEmpty,      // Refuse, and the output holds something
  Busy,          // locked by another run, and NoWait
  Interrupted,   // cancelled while waiting for the lock
  EndsWithTag,   // Append, and the output ends with a trailing tag
  NotWholeFrames,  // Append, and the output does not end on a whole frame that can be mended
  NotRegular,
  CreateFailed,
  OpenFailed,
  ReadFailed,
  WriteFailed,
};

// What opening found, for the caller to report.
struct OutputOpened {
  bool Existed = false;      // a file with content was there (appended to or replaced)
  bool New = false;          // the run makes the whole file: tags and a fresh tag frame apply
  std::int64_t CutBackFrom = -1;  // where a partial frame was cut off, -1 when none was
  std::int64_t CutBackBytes = 0;
};

// What the frames of one job did to the output.
struct OutputJob {
  std::int64_t Frames = 0;     // frames written, tag frames included
  std::int64_t TagFrames = 0;  // Xing/Info frames among them (an input's frame 0)
  std::int64_t Bytes = 0;
  // With JoinJob: what its junction with the frames before took.
  JunctionKind Junction = JunctionKind::None;
  int MutedFrames = 0;
  std::int64_t AudioFrames() const { return Frames - TagFrames; }
};

struct FinishSettings {
  // The output ends where its source ended: a copied tag frame keeps the
  // source's end padding.
  bool KeepEndPadding = false;
  // A copied tag frame that already counts the output's frames and bytes is
  // left as it is (a whole file copied stays byte for byte the same).
  bool LeaveTagThatCounts = false;
};

class OutputWriter : public FrameSink {
 public:
  OutputWriter();
  ~OutputWriter() override;
  OutputWriter(const OutputWriter&) = delete;
  OutputWriter& operator=(const OutputWriter&) = delete;

  // Opens `path`: locks an existing output, or begins a new one beside it.
  // The kernel follows links; a link that leads nowhere, or in a loop, is
  // refused with the system's reason. `message` names the file and the
  // reason when the status is not Ok, and what was mended when it is.
  OutputStatus Open(const std::string& path, const OutputSettings& settings, OutputOpened& opened,
                    std::string& message);
  // For standard output: an unnamed file in $TMPDIR (or /tmp), delivered by
  // Commit. Nothing named is left behind, whatever ends the run.
  OutputStatus OpenForStdout(const OutputSettings& settings, std::string& message);

  // Bytes before the first frame of a new output: the ID3v2 tags of its first
  // input. May be called several times, before any frame.
  bool WriteLeading(const std::uint8_t* data, std::size_t length, std::string& message);

  // A job's frames follow: EndJob tells what they were.
  void BeginJob();
  // The job's frames join the output's as one stream: its first frame, when
  // it is a Xing/Info/VBRI frame and the output holds frames, is counted and
  // left out, and `reservoir` (the bytes before its first frame that its
  // frames take, from its source) is carried into the free bytes at the
  // output's end. Without it a job's frames are copied as they are.
  void JoinJob(std::vector<std::uint8_t> reservoir);
  // Empty when frames of `header`'s stream may follow the output's frames,
  // else what differs ("sampling frequency").
  std::string JoinRefusal(const std::uint8_t header[4]) const;
  OutputJob EndJob() const { return job_; }
  // Takes back what the current job wrote (a job of tag frames only, which
  // put no audio into the output). False, with `message`, when it could not.
  bool DropJob(std::string& message);

  // FrameSink: the scan's runs of whole frames.
  bool Write(const std::uint8_t* data, std::size_t length, std::int32_t firstIndex, std::size_t& written,
             std::string& message) override;
  void CutBack(std::size_t partial, std::string& message) override;

  // Audio frames in the output: what it held before the run and what the run
  // added.
  std::int64_t AudioFrames() const { return heldAudio_ + addedAudio_; }
  std::int64_t AddedAudioFrames() const { return addedAudio_; }

  // The end padding that a reserved tag frame's LAME extension says, when
  // it is learnt only once the frames are written.
  void SetLameEndPadding(std::uint16_t padding) {
    settings_.LameValues.EndPadding = padding;
    reserved_.LameValues.EndPadding = padding;
  }

  // Bytes after the last frame: the ID3v1 tag of the first input.
  bool WriteTrailing(const std::uint8_t* data, std::size_t length, std::string& message);

  // Writes the tag frame, when the output has one, with one pwrite. False
  // with `message` when that failed; the frames stay as they are.
  bool Finish(const FinishSettings& settings, std::string& message);

  // For a tag writer that works on paths: a path that opens the file being
  // written, not yet committed. An output appended in place is copied beside
  // it first, so that a rewrite never shifts a committed file. Empty, with
  // `message`, when that failed. Call after Finish.
  std::string BeginRewrite(std::string& message);
  // After the rewrite: the frames must stand whole after the new leading tag,
  // as they were. False with `message` when they do not (a tag writer may
  // fail a write without a word).
  bool EndRewrite(std::string& message);

  // Ends the run keeping what was written: the new file goes under its name
  // (made with its missing folders, or replacing the old file), standard
  // output gets the output. A new output that holds no audio frame is dropped
  // instead. False with `message` when that failed; the path is then as it
  // was before the run.
  bool Commit(std::string& message);
  // Ends the run dropping what it wrote: the new file goes, and an output
  // appended to is cut back to what it held before the run. False when that
  // could not be done (an append-only file keeps the frames appended).
  bool Discard();

  // What a new output's first frame was when it was left out: an encoder's
  // tag frame that could not be made to describe the output ("a VBRI frame").
  // Empty when none was.
  const std::string& LeftOutFront() const { return leftOutFront_; }

  // The path that messages name.
  const std::string& Shown() const { return shown_; }
  // For tests and benchmarks: the output's descriptor while it is open.
  int Descriptor() const { return fd_; }

 private:
  enum class Kind { Direct, Beside, Stdout };
  OutputStatus OpenNew(const std::string& path, std::string& message);
  OutputStatus OpenBeside(const std::string& folder, const std::string& name, std::string& message);
  bool CheckBeforeAppend(OutputOpened& opened, OutputStatus& status, std::string& message);
  bool PutAt(const std::uint8_t* data, std::size_t length, std::int64_t at, std::size_t& written,
             std::string& message);
  bool StartTagFrameIfAny(const std::uint8_t* frame, std::size_t available, std::string& message);
  void Count(const std::uint8_t* data, std::size_t length, std::int64_t at);
  bool Join(std::string& message);
  void Remember(std::int64_t position) { recent_[recentCount_++ % recent_.size()] = position; }
  bool ReadCrcBack(std::int64_t from, std::int64_t to, std::string& message);
  bool TocByWalking(XingToc& toc, std::string& message);
  bool Deliver(std::string& message);
  bool PutInPlace(std::string& message);
  void Close();

  OutputSettings settings_;
  Kind kind_ = Kind::Direct;
  std::string path_;
  std::string shown_;
  std::string target_;   // Beside: the file to replace (what the path names), or the new output's path
  bool linkNew_ = false;  // Beside: the output did not exist; Commit links it, replacing nothing
  std::string tmpName_;  // Beside: the new file's name when it could not be made unnamed
  std::int64_t heldBefore_ = -1;  // Direct: the size before the run, what Discard cuts back to
  std::int64_t inPlaceEnd_ = -1;
  bool tagRewritten_ = false;     // Finish rewrote the tag frame of an output appended to  // Direct copied beside to rewrite its tags: where the in-place file ended
  std::int64_t leading_ = 0;      // bytes before the first frame (leading tags)
  // What BeginRewrite saw of the frames: their length, first and last bytes.
  std::int64_t rewriteFrames_ = -1;
  std::vector<std::uint8_t> rewriteHead_, rewriteTail_;
  LockedOutput lock_;
  int folderLock_ = -1;  // an append to a new output: its folder, locked until the commit
  int fd_ = -1;  // where the frames go: the locked file, or the new one
  bool new_ = false;
  bool open_ = false;
  std::int64_t end_ = 0;        // of the output's bytes as written so far
  std::int64_t framesEnd_ = 0;  // of its last whole frame
  bool anyFrame_ = false;       // a frame is in the output (before or by this run)
  std::int64_t heldAudio_ = 0;
  std::int64_t addedAudio_ = 0;

  // The tag frame at the output's front, when it has one.
  enum class Tag { None, Copied, Reserved };
  Tag tag_ = Tag::None;
  std::int64_t tagAt_ = 0;
  std::vector<std::uint8_t> tagBytes_;
  XingTag parsed_;
  ReservedTagFrame reserved_;
  InfoCounter counter_;
  bool counting_ = false;
  bool frontChecked_ = false;
  std::string leftOutFront_;

  // The output's stream (the header of its first frame) and where its last
  // frames begin, for a junction.
  std::uint8_t stream_[4] = {};
  bool hasStream_ = false;
  std::array<std::int64_t, 64> recent_{};
  std::size_t recentCount_ = 0;
  bool joining_ = false;
  std::vector<std::uint8_t> reservoir_;
  std::size_t carried_ = 0;  // reservoir bytes that the junction put before the job's frames
  std::int64_t muteSeen_ = -1;  // Muted: main-data bytes of the job's frames so far, -1 when done
  // An append whose junction changed bytes the output held: those bytes as
  // they were, for Discard.
  std::int64_t restoreAt_ = -1;
  std::vector<std::uint8_t> restoreBytes_;

  OutputJob job_;
  bool jobFirstSeen_ = false;
  std::int64_t jobStart_ = 0;
  // The state before the current job, for DropJob.
  struct Before {
    Tag TagKind = Tag::None;
    bool Counting = false;
    bool AnyFrame = false;
    std::int64_t AddedAudio = 0;
    InfoCounter Counter;
  } before_;
};
