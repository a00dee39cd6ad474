#include "xaudio/Decoder.h"

#include <fcntl.h>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "xaudio/xaudio.h"

namespace xaudio {
namespace {

// As far as the window looks for a first frame header when it adds a file.
constexpr long kResyncLimit = 2 * 1024 * 1024;
// Most a slice of counting reads, whatever lies between the frames.
constexpr uint64_t kIndexSliceBytes = 4 * 1024 * 1024;

void InitLibraryOnce() {
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
}

}  // namespace

Decoder::~Decoder() { Close(); }

void Decoder::Close() {
  if (handle_ != nullptr) {
    mpg123_close(handle_);
    mpg123_delete(handle_);
    handle_ = nullptr;
  }
  reader_.reset();
  path_.clear();
  frame_count_ = sample_count_ = 0;
  rate_ = 0;
  channels_ = samples_per_frame_ = 0;
  info_ = StreamInfo{};
  at_end_ = false;
  indexing_ = false;
  frames_seen_ = 0;
}

int Decoder::Open(const std::string& path) {
  Close();
  if (path.empty()) return XA_ERROR_NO_SUCH_FILE;
  // Without O_NONBLOCK, opening a FIFO that has no writer never returns and
  // the player would serve no command again.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return (errno == ENOENT || errno == ENOTDIR) ? XA_ERROR_NO_SUCH_FILE : XA_ERROR_OPEN_FAILED;
  // Pipes and devices could block the player or never end; the file checked
  // is the one opened, so nothing can be swapped in between.
  struct stat st {};
  const int flags = fcntl(fd, F_GETFL);
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
      fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return XA_ERROR_OPEN_FAILED;
  }

  InitLibraryOnce();
  int err = MPG123_OK;
  reader_ = std::make_unique<FileReader>(fd);
  mpg123_handle* h = mpg123_new(nullptr, &err);
  if (h == nullptr) {
    reader_.reset();
    return XA_ERROR_OUT_OF_MEMORY;
  }
  // No gapless trimming and no swallowing of the information frame: every
  // frame of the file is one frame of the stream, decoded whole.
  mpg123_param(h, MPG123_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME, 0.0);
  mpg123_param(h, MPG123_RESYNC_LIMIT, kResyncLimit, 0.0);
  mpg123_format_none(h);
  const long* rates = nullptr;
  size_t rate_count = 0;
  mpg123_rates(&rates, &rate_count);
  for (size_t i = 0; i < rate_count; ++i) {
    mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  }
  handle_ = h;

  if (!FileReader::Attach(h, reader_.get())) {
    Close();
    return XA_ERROR_OPEN_FAILED;
  }
  int encoding = 0;
  if (mpg123_getformat(h, &rate_, &channels_, &encoding) != MPG123_OK || rate_ <= 0 || channels_ <= 0) {
    Close();
    return XA_ERROR_NOT_MPEG_AUDIO;
  }
  samples_per_frame_ = mpg123_spf(h);
  if (samples_per_frame_ <= 0) {
    Close();
    return XA_ERROR_NOT_MPEG_AUDIO;
  }
  mpg123_frameinfo fi{};
  if (mpg123_info(h, &fi) == MPG123_OK) {
    info_.level = static_cast<uint8_t>(fi.version + 1);
    info_.layer = static_cast<uint8_t>(fi.layer);
    info_.bitrate = static_cast<uint16_t>(fi.bitrate);
    info_.frequency = static_cast<uint16_t>(fi.rate);
    info_.mode = static_cast<uint8_t>(fi.mode);
  }
  // The count starts at the first frame, as a full scan's does.
  if (mpg123_seek_frame(h, 0, SEEK_SET) < 0) {
    Close();
    return XA_ERROR_NOT_MPEG_AUDIO;
  }
  frames_seen_ = 1;
  indexing_ = true;
  path_ = path;
  return XA_SUCCESS;
}

Decoder::IndexResult Decoder::IndexSome(int frames) {
  if (handle_ == nullptr) return IndexResult::kFailed;
  if (!indexing_) return IndexResult::kDone;
  // Reading a frame without decoding it also records it in the decoder's seek
  // index, so once the end is reached every seek is exact and quick.
  const uint64_t read_before = reader_->BytesRead();
  for (int i = 0; i < frames; ++i) {
    // Junk between frames is skipped within the call that finds the next
    // frame; a slice through much of it ends early all the same.
    if (reader_->BytesRead() - read_before > kIndexSliceBytes) return IndexResult::kMore;
    const int r = mpg123_framebyframe_next(handle_);
    if (r == MPG123_OK || r == MPG123_NEW_FORMAT) {
      ++frames_seen_;
      continue;
    }
    // The end, or a frame that cannot be read: the stream ends there, as it
    // does for playback.
    indexing_ = false;
    frame_count_ = frames_seen_;
    sample_count_ = frame_count_ * samples_per_frame_;
    if (!SeekFrame(0)) return IndexResult::kFailed;
    return IndexResult::kDone;
  }
  return IndexResult::kMore;
}

bool Decoder::SeekFrame(int64_t frame) {
  if (handle_ == nullptr || indexing_ || frame < 0) return false;
  if (frame >= frame_count_) {
    at_end_ = true;
    return true;
  }
  if (mpg123_seek_frame(handle_, static_cast<off_t>(frame), SEEK_SET) < 0) return false;
  at_end_ = false;
  return true;
}

Decoder::Result Decoder::DecodeFrame(DecodedFrame& frame) {
  frame = DecodedFrame{};
  if (handle_ == nullptr || at_end_) return Result::kEnd;
  if (indexing_) return Result::kError;
  for (int attempt = 0; attempt < 4; ++attempt) {
    off_t number = 0;
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    const int r = mpg123_decode_frame(handle_, &number, &audio, &bytes);
    if (r == MPG123_NEW_FORMAT) {
      int encoding = 0;
      if (mpg123_getformat(handle_, &rate_, &channels_, &encoding) != MPG123_OK || rate_ <= 0 ||
          channels_ <= 0) {
        return Result::kError;
      }
      frame.format_changed = true;
      continue;
    }
    if (r == MPG123_DONE) {
      at_end_ = true;
      return Result::kEnd;
    }
    if (r != MPG123_OK) return Result::kError;
    frame.index = number;
    frame.pcm = reinterpret_cast<const int16_t*>(audio);
    frame.samples = static_cast<long>(bytes / (sizeof(int16_t) * static_cast<size_t>(channels_)));
    return Result::kFrame;
  }
  return Result::kError;
}

}  // namespace xaudio
