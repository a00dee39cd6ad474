#include "output/OutputWriter.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>

#include "output/TrailingTag.h"
#include "stream/SameStream.h"
#include "stream/Id3Tag.h"
#include "stream/ReadAt.h"
#include "stream/Scanner.h"

namespace {

std::string Reason(int e) { return std::strerror(e); }

std::uint32_t Clamp32(std::int64_t v) { return static_cast<std::uint32_t>(std::clamp<std::int64_t>(v, 0, UINT32_MAX)); }

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool TmpfileRefused(int e) { return e == EOPNOTSUPP || e == EISDIR || e == EINVAL; }

// Hidden named files that a run left where the file system makes no unnamed
// ones: a writer holds the lock of its file for as long as it lives, so one
// whose lock can be taken, and that is not being made this moment, is an
// orphan. Looked for once per folder and process.
void RemoveOrphans(const std::string& folder) {
  static std::set<std::string> swept;
  if (!swept.insert(folder).second) return;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const std::time_t now = std::time(nullptr);
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name.size() < 2 || name[0] != '.' || name.find(".kerfwell-") == std::string::npos) continue;
    const int fd = ::openat(::dirfd(dir), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    struct stat named {};
    // Two seconds: a writer locks its file at once, but not in the same call.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && now - st.st_ctime >= 2 &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstatat(::dirfd(dir), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        named.st_ino == st.st_ino && named.st_dev == st.st_dev)
      ::unlinkat(::dirfd(dir), name.c_str(), 0);
    ::close(fd);
  }
  ::closedir(dir);
}

// A new file in `folder`, locked: unnamed (O_TMPFILE) where the file system
// can make one, else a hidden named one whose name goes to `named`, for the
// caller to remove (or at once with `unlinkAtOnce`). KERFWELL_NO_TMPFILE
// takes the second way anywhere, so that it can be tried.
int NewFileIn(const std::string& folder, const std::string& prefix, bool unlinkAtOnce, std::string& named) {
  named.clear();
  const bool noTmpfile = std::getenv("KERFWELL_NO_TMPFILE") != nullptr;
  int fd = noTmpfile ? -1 : ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0 && !noTmpfile && !TmpfileRefused(errno)) return -1;
  if (fd < 0) {
    if (!unlinkAtOnce) RemoveOrphans(folder);
    std::string name = folder + "/" + prefix + "XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    if (unlinkAtOnce) {
      ::unlink(name.c_str());
    } else {
      named = name;
      // mkostemp makes it private; the output gets what a new file gets.
      const mode_t mask = ::umask(0);
      ::umask(mask);
      ::fchmod(fd, 0666 & ~mask);
    }
  }
  ::flock(fd, LOCK_EX | LOCK_NB);  // new, so free: it marks the file as being written
  return fd;
}

// The nearest folder of `path` that exists, where its new file is made
// (missing folders are made only when it is committed); empty, with errno,
// when a part of the path is not a folder.
std::string ExistingFolderOf(const std::string& path) {
  std::string folder = FolderOf(path);
  for (;;) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) return folder;
      errno = ENOTDIR;
      return "";
    }
    if (errno != ENOENT || folder == "." || folder == "/") return "";
    folder = FolderOf(folder);
  }
}

// Every missing folder along `path`'s folder part as typed, outermost first.
bool MakeFolders(const std::string& path, std::string& failed, int& failedErrno) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string dir = path.substr(0, slash);
    if (::mkdir(dir.c_str(), 0777) == 0 || errno == EEXIST) continue;
    failed = dir;
    failedErrno = errno;
    return false;
  }
  return true;
}

// A two-entry cache of header lengths: a stream repeats its padded and
// unpadded headers.
class Lengths {
 public:
  std::int32_t Of(const std::uint8_t* b) {
    std::uint32_t key;
    std::memcpy(&key, b, 4);
    for (int i = 0; i < 2; ++i)
      if (filled_[i] && keys_[i] == key) return lengths_[i];
    const int slot = next_;
    next_ ^= 1;
    keys_[slot] = key;
    lengths_[slot] = HeaderFrameLength(b);
    filled_[slot] = true;
    return lengths_[slot];
  }

 private:
  std::uint32_t keys_[2] = {0, 0};
  std::int32_t lengths_[2] = {0, 0};
  bool filled_[2] = {false, false};
  int next_ = 0;
};

thread_local Lengths lengthCache;

OutputStatus FromLock(LockStatus s) {
  switch (s) {
    case LockStatus::Locked:
      return OutputStatus::Ok;
    case LockStatus::Busy:
      return OutputStatus::Busy;
    case LockStatus::Interrupted:
      return OutputStatus::Interrupted;
    case LockStatus::NotRegular:
      return OutputStatus::NotRegular;
    case LockStatus::Missing:
      return OutputStatus::CreateFailed;
    case LockStatus::OpenFailed:
      break;
  }
  return OutputStatus::OpenFailed;
}

}  // namespace

OutputWriter::OutputWriter() = default;

OutputWriter::~OutputWriter() {
  if (open_) Discard();
}

OutputStatus OutputWriter::Open(const std::string& path, const OutputSettings& settings, OutputOpened& opened,
                                std::string& message) {
  settings_ = settings;
  path_ = shown_ = path;
  opened = OutputOpened{};
  // Only an append writes into the file; an overwrite reads nothing of it.
  const bool append = settings.Existing == ExistingOutput::Append;
  LockSettings lock;
  lock.NoWait = settings.NoWait;
  lock.Cancel = settings.Cancel;
  lock.OnWait = settings.OnWait;
  LockStatus locked = LockOutput(path, !append, lock, lock_, message);
  for (int made = 0; locked == LockStatus::Missing; ++made) {
    const OutputStatus status = OpenNew(path, message);
    // Another run made it while this one waited for its turn: appended to.
    if (status == OutputStatus::Busy && message.empty() && made < 100) {
      locked = LockOutput(path, !append, lock, lock_, message);
      continue;
    }
    if (status == OutputStatus::Ok) opened.New = true;
    return status;
  }
  if (locked != LockStatus::Locked) return FromLock(locked);
  open_ = true;

  if (lock_.Size > 0) opened.Existed = true;
  if (lock_.Size > 0 && settings.Existing == ExistingOutput::Refuse) {
    message = path + " exists and is not empty";
    Close();
    return OutputStatus::NotEmpty;
  }
  if (lock_.Size > 0 && append) {
    kind_ = Kind::Direct;
    fd_ = lock_.Fd;
    OutputStatus status = OutputStatus::Ok;
    if (!CheckBeforeAppend(opened, status, message)) {
      Close();
      return status;
    }
    heldBefore_ = end_;
    return OutputStatus::Ok;
  }
  // Replaced (an overwrite, or an empty file): the new file is made beside the
  // file the path names, as the kernel found it, so that a link stays a link.
  if (settings.Existing == ExistingOutput::Overwrite && lock_.Size > 0 && ::access(path.c_str(), W_OK) != 0) {
    message = "cannot overwrite " + path + ": " + Reason(errno);
    Close();
    return OutputStatus::OpenFailed;
  }
  char real[PATH_MAX];
  const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(lock_.Fd)).c_str(), real, sizeof real - 1);
  target_ = n > 0 ? std::string(real, static_cast<std::size_t>(n)) : path;
  open_ = false;
  const OutputStatus status = OpenBeside(FolderOf(target_), NameOf(target_), message);
  if (status != OutputStatus::Ok) {
    Close();
    return status;
  }
  opened.New = true;
  return OutputStatus::Ok;
}

OutputStatus OutputWriter::OpenNew(const std::string& path, std::string& message) {
  const std::string folder = ExistingFolderOf(path);
  if (folder.empty()) {
    message = "cannot create " + path + ": " + Reason(errno);
    return OutputStatus::CreateFailed;
  }
  // Runs that append to an output that does not exist yet take turns on its
  // folder: the second then appends to what the first made, instead of
  // failing to link a file of its own.
  if (settings_.Existing == ExistingOutput::Append) {
    folderLock_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    LockSettings lock;
    lock.NoWait = settings_.NoWait;
    lock.Cancel = settings_.Cancel;
    lock.OnWait = settings_.OnWait;
    const LockStatus locked =
        folderLock_ < 0 ? LockStatus::OpenFailed : LockDescriptor(folderLock_, path, lock, message);
    if (locked != LockStatus::Locked) {
      if (folderLock_ < 0) message = "cannot create " + path + ": " + Reason(errno);
      Close();
      return FromLock(locked);
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
      Close();
      return OutputStatus::Busy;  // made meanwhile: the caller opens it again
    }
  }
  target_ = path;
  linkNew_ = true;
  return OpenBeside(folder, NameOf(path), message);
}

OutputStatus OutputWriter::OpenBeside(const std::string& folder, const std::string& name, std::string& message) {
  // Appended rather than "." + name: GCC 12 at -O3 warns (-Wrestrict, a
  // false positive) about the inlined insert in front of a string.
  std::string prefix(".");
  prefix += name;
  prefix += ".kerfwell-";
  fd_ = NewFileIn(folder, prefix, false, tmpName_);
  if (fd_ < 0) {
    message = (linkNew_ ? "cannot create " : "cannot create a new file beside ") + shown_ + ": " + Reason(errno);
    return OutputStatus::CreateFailed;
  }
  kind_ = Kind::Beside;
  new_ = true;
  open_ = true;
  return OutputStatus::Ok;
}

OutputStatus OutputWriter::OpenForStdout(const OutputSettings& settings, std::string& message) {
  settings_ = settings;
  path_.clear();
  shown_ = "standard output";
  const char* tmp = std::getenv("TMPDIR");
  const std::string folder = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  std::string named;
  fd_ = NewFileIn(folder, "kerfwell-cut-", true, named);
  if (fd_ < 0) {
    message = "cannot create a temporary file in " + folder + ": " + Reason(errno);
    return OutputStatus::CreateFailed;
  }
  kind_ = Kind::Stdout;
  new_ = true;
  open_ = true;
  return OutputStatus::Ok;
}

bool OutputWriter::CheckBeforeAppend(OutputOpened& opened, OutputStatus& status, std::string& message) {
  const std::int64_t size = lock_.Size;
  std::string tag;
  if (!TrailingTagName(fd_, size, tag)) {
    message = "cannot read " + path_ + ": " + Reason(errno);
    status = OutputStatus::ReadFailed;
    return false;
  }
  if (!tag.empty()) {
    message = path_ + " ends with " + tag + ": frames appended to it would follow the tag; nothing appended";
    status = OutputStatus::EndsWithTag;
    return false;
  }
  FrameHeader reference;
  std::string error;
  std::int64_t front = 0;
  if (!ProbeFile(path_, reference, error) || !LeadingTagsLength(path_, front, error)) {
    message = error.empty() ? path_ + " holds no MPEG audio frame to append to; nothing appended" : error;
    status = error.empty() ? OutputStatus::NotWholeFrames : OutputStatus::ReadFailed;
    return false;
  }

  // One walk over what the output holds: where its frames end, and the
  // counts of a tag frame at its front.
  std::int64_t wholeEnd = -1;
  std::int64_t lastStart = -1;
  bool lastWhole = true;
  bool first = true;
  bool readFailed = false;
  ScanOptions any;
  any.AnyBitRate = true;
  const bool walked = WalkFrames(
      path_, reference, any,
      [&](const FrameVisit& f) {
        lastStart = f.Position;
        lastWhole = f.Whole;
        if (!f.Whole) return true;
        const bool isFront = first;
        first = false;
        if (isFront && f.Position == front) {
          std::vector<std::uint8_t> bytes(static_cast<std::size_t>(f.Length));
          if (ReadAt(fd_, bytes.data(), bytes.size(), f.Position) != static_cast<ssize_t>(bytes.size())) {
            readFailed = true;
            return false;
          }
          if (ParseXingTag(bytes.data(), bytes.size(), parsed_)) {
            tag_ = Tag::Copied;
            tagAt_ = f.Position;
            tagBytes_ = std::move(bytes);
            counting_ = true;
            counter_.Start(f.Position + f.Length);
            wholeEnd = f.Position + f.Length;
            return true;
          }
        }
        if (!f.TagFrame) {
          ++heldAudio_;
          Remember(f.Position);
        }
        if (counting_) counter_.AddFrame(f.Position, f.Length, f.Header);
        wholeEnd = f.Position + f.Length;
        return true;
      },
      error);
  if (!walked || readFailed) {
    message = readFailed ? "cannot read " + path_ + ": " + Reason(errno) : error;
    status = OutputStatus::ReadFailed;
    return false;
  }
  if (wholeEnd < 0) {
    message = path_ + " holds no whole MPEG audio frame to append to; nothing appended";
    status = OutputStatus::NotWholeFrames;
    return false;
  }
  // What follows the last whole frame: nothing, or a frame cut short right
  // after it (or fewer bytes than a header), which a killed run leaves.
  const bool partialAfterFrames = lastWhole ? size - wholeEnd < 4 : lastStart == wholeEnd;
  if (wholeEnd < size && !partialAfterFrames) {
    message = path_ + " does not end on a whole frame: the " + std::to_string(size - wholeEnd) +
              " bytes after its last frame (at byte " + std::to_string(wholeEnd) +
              ") are not MPEG audio; nothing appended";
    status = OutputStatus::NotWholeFrames;
    return false;
  }
  if (wholeEnd < size) {
    if (lock_.AppendOnly || ::ftruncate(fd_, wholeEnd) != 0) {
      message = "cannot cut " + path_ + " back to its last whole frame at byte " + std::to_string(wholeEnd) +
                ": " + Reason(lock_.AppendOnly ? EPERM : errno) + "; nothing appended";
      status = OutputStatus::NotWholeFrames;
      return false;
    }
    opened.CutBackFrom = wholeEnd;
    opened.CutBackBytes = size - wholeEnd;
    message = path_ + " ended in a partial frame: its last " + std::to_string(size - wholeEnd) +
              " bytes, after its last whole frame, were cut off";
  }
  if (counting_ && parsed_.HasLame && !ReadCrcBack(counter_.AudioStart(), wholeEnd, message)) {
    status = OutputStatus::ReadFailed;
    return false;
  }
  end_ = framesEnd_ = wholeEnd;
  leading_ = front;
  anyFrame_ = true;
  std::memcpy(stream_, HeaderBytesOf(reference).data(), 4);
  hasStream_ = true;
  return true;
}

bool OutputWriter::ReadCrcBack(std::int64_t from, std::int64_t to, std::string& message) {
  std::vector<std::uint8_t> buffer(1 << 16);
  for (std::int64_t at = from; at < to;) {
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::int64_t>(to - at, static_cast<std::int64_t>(buffer.size())));
    const ssize_t got = ReadAt(fd_, buffer.data(), n, at);
    if (got != static_cast<ssize_t>(n)) {
      message = "cannot read " + shown_ + ": " + (got < 0 ? Reason(errno) : "it shrank while it was read");
      return false;
    }
    counter_.AddBytes(buffer.data(), n);
    at += got;
  }
  return true;
}

bool OutputWriter::PutAt(const std::uint8_t* data, std::size_t length, std::int64_t at, std::size_t& written,
                         std::string& message) {
  written = 0;
  while (written < length) {
    const ssize_t n = ::pwrite(fd_, data + written, length - written, at + static_cast<std::int64_t>(written));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      message = "cannot write " + shown_ + ": " + Reason(n < 0 ? errno : ENOSPC);
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  return true;
}

bool OutputWriter::WriteLeading(const std::uint8_t* data, std::size_t length, std::string& message) {
  std::size_t written = 0;
  const bool ok = PutAt(data, length, end_, written, message);
  end_ += static_cast<std::int64_t>(written);
  framesEnd_ = leading_ = end_;
  return ok;
}

bool OutputWriter::WriteTrailing(const std::uint8_t* data, std::size_t length, std::string& message) {
  std::size_t written = 0;
  const bool ok = PutAt(data, length, end_, written, message);
  end_ += static_cast<std::int64_t>(written);
  return ok;
}

void OutputWriter::JoinJob(std::vector<std::uint8_t> reservoir) {
  joining_ = true;
  reservoir_ = std::move(reservoir);
}

std::string OutputWriter::JoinRefusal(const std::uint8_t header[4]) const {
  return hasStream_ ? StreamDifference(stream_, header) : std::string();
}

bool OutputWriter::Join(std::string& message) {
  carried_ = 0;
  if (reservoir_.empty() || end_ != framesEnd_) return true;
  // The output's last frames, back to back up to its end.
  std::int64_t from = framesEnd_;
  const std::size_t kept = std::min(recentCount_, recent_.size());
  for (std::size_t k = 0; k < kept; ++k) {
    const std::int64_t p = recent_[(recentCount_ - 1 - k) % recent_.size()];
    if (p >= from || framesEnd_ - p > (1 << 17) || (counting_ && p < counter_.AudioStart())) break;
    from = p;
  }
  if (from == framesEnd_) return true;
  std::vector<std::uint8_t> tail(static_cast<std::size_t>(framesEnd_ - from));
  if (ReadAt(fd_, tail.data(), tail.size(), from) != static_cast<ssize_t>(tail.size())) {
    message = "cannot read " + shown_ + ": " + Reason(errno);
    return false;
  }
  const std::vector<std::uint8_t> before = tail;
  // A higher bit rate needs a Xing frame to tell the length.
  const JunctionResult r = CarryReservoir(tail, reservoir_, settings_.WidenAtJunctions && tag_ != Tag::None);
  job_.Junction = r.Kind;
  carried_ = r.Available;
  if (r.Kind == JunctionKind::None) return true;
  if (heldBefore_ > from) {
    // Bytes the output held before the run: Discard puts them back.
    const std::size_t held = static_cast<std::size_t>(std::min<std::int64_t>(heldBefore_, framesEnd_) - from);
    if (restoreAt_ < 0) {
      restoreAt_ = from;
      restoreBytes_.assign(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(held));
    } else if (from < restoreAt_) {
      restoreBytes_.insert(restoreBytes_.begin(), before.begin(), before.begin() + (restoreAt_ - from));
      restoreAt_ = from;
    }
  }
  std::size_t written = 0;
  if (!PutAt(tail.data(), tail.size(), from, written, message)) return false;
  end_ = framesEnd_ = from + static_cast<std::int64_t>(tail.size());
  if (counting_) {
    std::vector<std::uint8_t> delta(before.size());
    for (std::size_t i = 0; i < before.size(); ++i) delta[i] = before[i] ^ tail[i];
    counter_.ChangedBytes(Crc16(delta.data(), delta.size(), 0));
    if (tail.size() > before.size()) {
      counter_.AddBytes(tail.data() + before.size(), tail.size() - before.size());
      counter_.WidenLast(framesEnd_, r.WidenedBitRate);
    }
  }
  // What the job takes back with DropJob starts after the junction.
  jobStart_ = end_;
  if (counting_) before_.Counter = counter_;
  return true;
}

void OutputWriter::BeginJob() {
  joining_ = false;
  reservoir_.clear();
  carried_ = 0;
  muteSeen_ = -1;
  job_ = OutputJob{};
  jobFirstSeen_ = false;
  jobStart_ = end_;
  before_.TagKind = tag_;
  before_.Counting = counting_;
  before_.AnyFrame = anyFrame_;
  before_.AddedAudio = addedAudio_;
  if (counting_) before_.Counter = counter_;
}

bool OutputWriter::DropJob(std::string& message) {
  if (end_ == jobStart_) return true;
  struct stat st {};
  if (lock_.AppendOnly || ::fstat(fd_, &st) != 0 || st.st_size != end_ || ::ftruncate(fd_, jobStart_) != 0) {
    message = "cannot take back what the job wrote to " + shown_ +
              (lock_.AppendOnly ? std::string(": it is append-only") : ": " + Reason(errno));
    return false;
  }
  end_ = framesEnd_ = jobStart_;
  tag_ = before_.TagKind;
  counting_ = before_.Counting;
  anyFrame_ = before_.AnyFrame;
  if (!anyFrame_) {
    frontChecked_ = false;
    leftOutFront_.clear();
    hasStream_ = false;
  }
  addedAudio_ = before_.AddedAudio;
  if (counting_) counter_ = before_.Counter;
  job_ = OutputJob{};
  return true;
}

bool OutputWriter::StartTagFrameIfAny(const std::uint8_t* frame, std::size_t available, std::string& message) {
  const std::int32_t length = HeaderFrameLength(frame);
  if (length > 0 && static_cast<std::size_t>(length) <= available &&
      ParseXingTag(frame, static_cast<std::size_t>(length), parsed_)) {
    tag_ = Tag::Copied;
    tagAt_ = end_;
    tagBytes_.assign(frame, frame + length);
    counting_ = true;
    counter_.Start(end_ + length);
    return true;
  }
  if (!settings_.ReserveTagFrame) return true;
  reserved_ = ReserveTagFrame(frame, settings_.Lame ? &settings_.LameValues : nullptr);
  if (reserved_.Placeholder.empty()) return true;
  // A silent frame until Finish fills it: an output cut off before then still
  // plays.
  std::size_t written = 0;
  if (!PutAt(reserved_.Placeholder.data(), reserved_.Placeholder.size(), end_, written, message)) {
    if (written > 0 && !lock_.AppendOnly && ::ftruncate(fd_, end_) != 0) {
      message += "; the output ends with a partial frame at byte " + std::to_string(end_);
    }
    return false;
  }
  tag_ = Tag::Reserved;
  tagAt_ = end_;
  end_ += static_cast<std::int64_t>(written);
  framesEnd_ = end_;
  counting_ = true;
  counter_.Start(end_);
  return true;
}

bool OutputWriter::Write(const std::uint8_t* data, std::size_t length, std::int32_t /*firstIndex*/,
                         std::size_t& written, std::string& message) {
  written = 0;
  if (length == 0) return true;
  const bool firstOfJob = !jobFirstSeen_;
  jobFirstSeen_ = true;
  // An encoder's tag frame that cannot be rewritten (a VBRI frame, a Xing
  // frame whose fields do not fit it) would tell players a false length at
  // the front of a new output: it is left out.
  std::size_t skip = 0;
  if (new_ && !anyFrame_ && !frontChecked_) {
    frontChecked_ = true;
    const std::int32_t first = HeaderFrameLength(data);
    if (first > 0 && static_cast<std::size_t>(first) <= length) {
      const TagFrameKind kind = TagFrameKindOf(data, static_cast<std::size_t>(first));
      XingTag readable;
      if (kind == TagFrameKind::Vbri ||
          (kind == TagFrameKind::Xing && !ParseXingTag(data, static_cast<std::size_t>(first), readable))) {
        skip = static_cast<std::size_t>(first);
        ++job_.Frames;
        ++job_.TagFrames;
        job_.Bytes += first;
        leftOutFront_ = kind == TagFrameKind::Vbri ? "a VBRI frame" : "a Xing/Info frame that cannot be read";
      }
    }
  }
  // A job joined to the frames before: its own tag frame would sit mid-stream
  // as a frame of silence or garbage; the reservoir its frames take goes
  // before them.
  std::vector<std::uint8_t> muted;
  if (firstOfJob && joining_ && anyFrame_) {
    const std::int32_t first = HeaderFrameLength(data);
    if (first > 0 && static_cast<std::size_t>(first) <= length &&
        TagFrameKindOf(data, static_cast<std::size_t>(first)) != TagFrameKind::None) {
      skip = static_cast<std::size_t>(first);
      ++job_.Frames;
      ++job_.TagFrames;
    }
    if (!Join(message)) return false;
    if (job_.Junction == JunctionKind::Muted) muteSeen_ = 0;
  }
  if (muteSeen_ >= 0) {
    muted.assign(data + skip, data + length);
    job_.MutedFrames += MuteUnreachable(muted.data(), muted.size(), carried_, muteSeen_);
    if (muteSeen_ > kLongestReach) muteSeen_ = -1;
  }
  const std::uint8_t* source = muted.empty() ? data + skip : muted.data();
  // The frame that opens a new output decides its tag frame.
  std::int64_t skipTagFrame = -1;
  if (!anyFrame_ && new_ && length - skip >= 4) {
    if (!StartTagFrameIfAny(data + skip, length - skip, message)) return false;
    std::memcpy(stream_, data + skip, 4);
    hasStream_ = true;
    if (tag_ == Tag::Copied) skipTagFrame = end_;
  }
  const std::int64_t at = end_;
  std::size_t put = 0;
  const bool ok = PutAt(source, length - skip, at, put, message);
  written = skip + put;

  // The whole frames that reached the output, one by one. Only the first of
  // a run can be a tag frame: the one that opens a new output, or a job's
  // first frame (an input's frame 0).
  const std::uint8_t* run = source;
  Lengths& lengths = lengthCache;
  std::size_t p = 0;
  std::int64_t frames = 0;
  std::int64_t tagFrames = 0;
  auto wholeFrameAt = [&](std::size_t q) -> std::int32_t {
    if (q + 4 > put) return 0;
    const std::int32_t n = lengths.Of(run + q);
    return n > 0 && q + static_cast<std::size_t>(n) <= put ? n : 0;
  };
  if (const std::int32_t first = wholeFrameAt(0); first > 0) {
    const bool isTagFrame =
        at == skipTagFrame || (firstOfJob && skip == 0 &&
                               TagFrameKindOf(run, static_cast<std::size_t>(first)) != TagFrameKind::None);
    ++frames;
    if (isTagFrame) ++tagFrames;
    else Remember(at);
    if (counting_ && at != skipTagFrame) counter_.AddFrame(at, first, run);
    p = static_cast<std::size_t>(first);
  }
  if (p > 0 && counting_) {
    for (std::int32_t n; (n = wholeFrameAt(p)) > 0; p += static_cast<std::size_t>(n), ++frames) {
      counter_.AddFrame(at + static_cast<std::int64_t>(p), n, run + p);
      Remember(at + static_cast<std::int64_t>(p));
    }
  } else if (p > 0) {
    // Nothing kept of a frame but that it is one.
    for (std::int32_t n; (n = wholeFrameAt(p)) > 0; p += static_cast<std::size_t>(n), ++frames)
      Remember(at + static_cast<std::int64_t>(p));
  }
  job_.Frames += frames;
  job_.Bytes += static_cast<std::int64_t>(p);
  job_.TagFrames += tagFrames;
  addedAudio_ += frames - tagFrames;
  if (counting_) {
    // The music CRC covers the bytes after the tag frame.
    const std::size_t from = skipTagFrame == at ? static_cast<std::size_t>(counter_.AudioStart() - at) : 0;
    if (p > from) counter_.AddBytes(run + from, p - from);
  }
  if (p > 0) anyFrame_ = true;
  end_ = at + static_cast<std::int64_t>(put);
  framesEnd_ = at + static_cast<std::int64_t>(p);
  return ok;
}

void OutputWriter::CutBack(std::size_t partial, std::string& message) {
  if (partial == 0) return;
  const std::int64_t frameStart = end_ - static_cast<std::int64_t>(partial);
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    message += "; the output may end with a partial frame";
    return;
  }
  if (st.st_size != end_) {
    message += "; another program wrote to the output meanwhile, so the partial frame at byte " +
               std::to_string(frameStart) + " was left in place";
    return;
  }
  if (lock_.AppendOnly || ::ftruncate(fd_, frameStart) != 0) {
    message += "; the output ends with a partial frame at byte " + std::to_string(frameStart) +
               " that could not be removed: " + Reason(lock_.AppendOnly ? EPERM : errno);
    return;
  }
  end_ = frameStart;
}

bool OutputWriter::TocByWalking(XingToc& toc, std::string& message) {
  // Frames of an earlier run with bytes between them: walk the output as the
  // scanner does to find those at each percent.
  FrameHeader reference;
  std::string error;
  if (!ProbeFile(path_, reference, error)) {
    message = error.empty() ? "no MPEG audio frame found in " + shown_ : error;
    return false;
  }
  const std::uint32_t frames = counter_.Frames();
  const std::int64_t from = counter_.AudioStart();
  std::vector<std::int64_t> starts(100, -1);
  std::uint32_t index = 0;
  int next = 0;
  ScanOptions any;
  any.AnyBitRate = true;
  const bool walked = WalkFrames(
      path_, reference, any,
      [&](const FrameVisit& f) {
        if (f.Position < from || !f.Whole) return true;
        while (next < 100 && XingTocFrame(next, frames) == index) starts[static_cast<std::size_t>(next++)] = f.Position;
        ++index;
        return next < 100;
      },
      error);
  if (!walked || (frames > 0 && next < 100)) {
    message = walked ? shown_ + " changed while it was written" : error;
    return false;
  }
  toc = MakeXingToc(frames, static_cast<std::uint64_t>(counter_.AudioEnd() - from), [&](std::uint32_t k) {
    for (int i = 0; i < 100; ++i)
      if (XingTocFrame(i, frames) == k) return static_cast<std::uint64_t>(starts[static_cast<std::size_t>(i)] - from);
    return std::uint64_t{0};
  });
  return true;
}

bool OutputWriter::Finish(const FinishSettings& settings, std::string& message) {
  if (tag_ == Tag::None) return true;
  XingCounts counts;
  counts.Frames = counter_.Frames();
  counts.Bytes = Clamp32(counter_.AudioEnd() - tagAt_);
  counts.MusicCrc = counter_.MusicCrc();
  // The music CRC too: the same counts over other bytes (a look-alike frame
  // left out, another copied) are another stream.
  if (tag_ == Tag::Copied && settings.LeaveTagThatCounts &&
      (!(parsed_.Flags & kXingFramesFlag) || parsed_.Frames == counts.Frames) &&
      (!(parsed_.Flags & kXingBytesFlag) || parsed_.Bytes == counts.Bytes) &&
      (!parsed_.HasLame || parsed_.MusicCrc == counts.MusicCrc)) {
    return true;
  }
  if (tag_ == Tag::Reserved || (parsed_.Flags & kXingTocFlag)) {
    const bool ok = counter_.BackToBack() ? counter_.Toc(fd_, counts.Toc, message)
                                          : TocByWalking(counts.Toc, message);
    if (!ok) {
      message = "cannot count the frames of " + shown_ + ": " + message;
      return false;
    }
  }
  std::vector<std::uint8_t> frame;
  if (tag_ == Tag::Copied) {
    frame = tagBytes_;
    RewriteXingTag(frame.data(), parsed_, counts, settings.KeepEndPadding);
  } else {
    frame = FillTagFrame(reserved_, std::popcount(counter_.BitRates()) > 1, counts);
  }
  if (lock_.AppendOnly) {
    message = "cannot rewrite the tag frame of " + shown_ + ": it is append-only";
    return false;
  }
  std::size_t written = 0;
  // The tag frame of an output appended to is its old one rewritten: Discard
  // puts the old one back.
  if (kind_ == Kind::Direct) tagRewritten_ = true;
  return PutAt(frame.data(), frame.size(), tagAt_, written, message);
}

bool OutputWriter::Deliver(std::string& message) {
  off_t offset = 0;
  while (offset < end_) {
    const ssize_t n = ::sendfile(STDOUT_FILENO, fd_, &offset, static_cast<std::size_t>(end_ - offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EINVAL || errno == ENOSYS)) break;  // not for this kind of output: copy
    if (n <= 0) {
      message = "cannot write standard output: " + Reason(n < 0 ? errno : EIO);
      return false;
    }
  }
  std::vector<std::uint8_t> buffer(1 << 16);
  while (offset < end_) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::int64_t>(end_ - offset, static_cast<std::int64_t>(buffer.size())));
    const ssize_t got = ReadAt(fd_, buffer.data(), want, offset);
    if (got <= 0) {
      message = "cannot read back the output: " + Reason(got < 0 ? errno : EIO);
      return false;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t n = ::write(STDOUT_FILENO, buffer.data() + done, static_cast<std::size_t>(got - done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        message = "cannot write standard output: " + Reason(n < 0 ? errno : EIO);
        return false;
      }
      done += n;
    }
    offset += got;
  }
  return true;
}

bool OutputWriter::PutInPlace(std::string& message) {
  // A replaced file keeps its permissions; a new one has what the umask gave.
  if (!linkNew_ && ::fchmod(fd_, lock_.Mode & 07777) != 0) {
    message = "cannot write " + shown_ + ": " + Reason(errno);
    return false;
  }
  // The old file's data is gone once the new one takes its name: the new one
  // must be on the disk first. A new output replaces nothing.
  if (!linkNew_ && ::fsync(fd_) != 0) {
    message = "cannot write " + shown_ + ": " + Reason(errno);
    return false;
  }
  if (linkNew_) {
    std::string failed;
    int failedErrno = 0;
    if (!MakeFolders(target_, failed, failedErrno)) {
      message = "cannot create " + shown_ + ": cannot create folder " + failed + ": " + Reason(failedErrno);
      return false;
    }
    // Linked, never renamed: a file that another program made meanwhile is
    // not replaced.
    const int linked = tmpName_.empty()
                           ? ::linkat(AT_FDCWD, ("/proc/self/fd/" + std::to_string(fd_)).c_str(), AT_FDCWD,
                                      target_.c_str(), AT_SYMLINK_FOLLOW)
                           : ::link(tmpName_.c_str(), target_.c_str());
    if (linked != 0 && errno == EEXIST && settings_.Existing == ExistingOutput::Overwrite) {
      linkNew_ = false;  // made meanwhile: an overwrite replaces it all the same
      return PutInPlace(message);
    }
    if (linked != 0) {
      const int e = errno;
      message = e == EEXIST ? "cannot create " + shown_ + ": " + Reason(e) + " (another program made it meanwhile)"
                            : "cannot create " + shown_ + ": " + Reason(e);
      return false;
    }
    if (!tmpName_.empty()) ::unlink(tmpName_.c_str());
    tmpName_.clear();
    return true;
  }
  std::string name = tmpName_;
  if (name.empty()) {
    // Linked under a name only for the rename that follows.
    const std::string proc = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; name.empty() && attempt < 100; ++attempt) {
      const std::string candidate = FolderOf(target_) + "/." + NameOf(target_) + ".kerfwell-" +
                                    std::to_string(::getpid()) + "-" + std::to_string(attempt);
      if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        name = candidate;
      } else if (errno != EEXIST) {
        message = "cannot put the new " + shown_ + " in place: " + Reason(errno);
        return false;
      }
    }
  }
  if (name.empty() || ::rename(name.c_str(), target_.c_str()) != 0) {
    message = "cannot put the new " + shown_ + " in place: " + Reason(errno);
    if (!name.empty()) ::unlink(name.c_str());
    return false;
  }
  tmpName_.clear();
  return true;
}

std::string OutputWriter::BeginRewrite(std::string& message) {
  if (!open_) return "";
  if (kind_ == Kind::Direct) {
    // Appended in place: the whole output is copied beside it, rewritten
    // there and put in its place, under the lock that the run holds.
    char real[PATH_MAX];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(lock_.Fd)).c_str(), real, sizeof real - 1);
    target_ = n > 0 ? std::string(real, static_cast<std::size_t>(n)) : path_;
    std::string prefix(".");
    prefix += NameOf(target_);
    prefix += ".kerfwell-";
    const int copy = NewFileIn(FolderOf(target_), prefix, false, tmpName_);
    if (copy < 0) {
      message = "cannot create a new file beside " + shown_ + ": " + Reason(errno);
      return "";
    }
    loff_t from = 0;
    loff_t to = 0;
    while (from < end_) {
      const ssize_t got = ::copy_file_range(lock_.Fd, &from, copy, &to, static_cast<std::size_t>(end_ - from), 0);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        message = "cannot copy " + shown_ + " to rewrite its tags: " + Reason(got < 0 ? errno : EIO);
        ::close(copy);
        if (!tmpName_.empty()) ::unlink(tmpName_.c_str());
        tmpName_.clear();
        return "";
      }
    }
    inPlaceEnd_ = end_;
    fd_ = copy;
    kind_ = Kind::Beside;
  }
  // The frames as they are, to be found again after the rewrite.
  rewriteFrames_ = framesEnd_ - leading_;
  const std::size_t edge = static_cast<std::size_t>(std::min<std::int64_t>(rewriteFrames_, 1 << 16));
  rewriteHead_.resize(edge);
  rewriteTail_.resize(edge);
  if (ReadAt(fd_, rewriteHead_.data(), edge, leading_) != static_cast<ssize_t>(edge) ||
      ReadAt(fd_, rewriteTail_.data(), edge, framesEnd_ - static_cast<std::int64_t>(edge)) !=
          static_cast<ssize_t>(edge)) {
    message = "cannot read back " + shown_ + ": " + Reason(errno);
    return "";
  }
  return "/proc/self/fd/" + std::to_string(fd_);
}

bool OutputWriter::EndRewrite(std::string& message) {
  struct stat st {};
  std::int64_t lead = 0;
  std::string error;
  if (::fstat(fd_, &st) != 0 || !LeadingTagsLength("/proc/self/fd/" + std::to_string(fd_), lead, error)) {
    message = "cannot write the tags of " + shown_ + ": " + (error.empty() ? Reason(errno) : error);
    return false;
  }
  const std::size_t edge = rewriteHead_.size();
  std::vector<std::uint8_t> now(edge);
  bool whole = lead + rewriteFrames_ <= st.st_size;
  if (whole) {
    whole = ReadAt(fd_, now.data(), edge, lead) == static_cast<ssize_t>(edge) && now == rewriteHead_ &&
            ReadAt(fd_, now.data(), edge, lead + rewriteFrames_ - static_cast<std::int64_t>(edge)) ==
                static_cast<ssize_t>(edge) &&
            now == rewriteTail_;
  }
  if (!whole) {
    message = "cannot write the tags of " + shown_ + ": the frames did not come through the rewrite whole "
              "(a full disk?)";
    return false;
  }
  leading_ = lead;
  framesEnd_ = lead + rewriteFrames_;
  end_ = st.st_size;
  return true;
}

bool OutputWriter::Commit(std::string& message) {
  if (!open_) return false;
  bool ok = true;
  switch (kind_) {
    case Kind::Direct: {
      // Written in place: still the file the path names?
      struct stat st {};
      if (::fstat(fd_, &st) == 0 && st.st_nlink == 0) {
        message = "cannot write " + shown_ + ": it was removed while it was written";
        ok = false;
      }
      break;
    }
    case Kind::Beside:
      if (AudioFrames() == 0) {
        Discard();
        return true;
      }
      ok = PutInPlace(message);
      if (!ok) {
        Discard();
        return false;
      }
      break;
    case Kind::Stdout:
      ok = Deliver(message);
      break;
  }
  Close();
  return ok;
}

bool OutputWriter::Discard() {
  if (!open_) return true;
  bool asItWas = true;
  if (!tmpName_.empty()) ::unlink(tmpName_.c_str());
  tmpName_.clear();
  // What the run appended in place goes again, unless another program wrote
  // to the file meanwhile.
  struct stat st {};
  if (tagRewritten_ && tag_ == Tag::Copied) {
    std::size_t written = 0;
    std::string ignored;
    const int fd = fd_;
    fd_ = lock_.Fd;
    asItWas = PutAt(tagBytes_.data(), tagBytes_.size(), tagAt_, written, ignored);
    fd_ = fd;
  }
  if (restoreAt_ >= 0) {
    // The junction's changes to bytes the output held.
    std::size_t written = 0;
    std::string ignored;
    const int fd = fd_;
    fd_ = lock_.Fd;
    asItWas = PutAt(restoreBytes_.data(), restoreBytes_.size(), restoreAt_, written, ignored) && asItWas;
    fd_ = fd;
  }
  const std::int64_t appendedEnd = kind_ == Kind::Direct ? end_ : inPlaceEnd_;
  if (heldBefore_ >= 0 && !lock_.AppendOnly && ::fstat(lock_.Fd, &st) == 0 && st.st_size == appendedEnd &&
      st.st_size > heldBefore_) {
    asItWas = ::ftruncate(lock_.Fd, heldBefore_) == 0 && asItWas;
  } else if (heldBefore_ >= 0) {
    asItWas = ::fstat(lock_.Fd, &st) == 0 && st.st_size == heldBefore_ && asItWas;
  }
  Close();
  return asItWas;
}

void OutputWriter::Close() {
  if (folderLock_ >= 0) ::close(folderLock_);
  folderLock_ = -1;
  if (fd_ >= 0 && fd_ != lock_.Fd) ::close(fd_);
  if (lock_.Fd >= 0) ::close(lock_.Fd);  // releases the lock
  fd_ = -1;
  lock_.Fd = -1;
  open_ = false;
}
