// Decoding for silence detection: libmpg123 hands out each frame's samples in
// its own buffer, which the detector reads in place.

#include <fcntl.h>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>

#include "album/RegularFile.h"
#include "album/Silence.h"

namespace {

struct HandleCloser {
  void operator()(mpg123_handle* h) const {
    mpg123_close(h);
    mpg123_delete(h);
  }
};

constexpr int kProgressEveryFrames = 256;

// Samples of a frame of the stream the decoder is in: Layer I 384, MPEG-2
// and 2.5 Layer III 576, else 1152.
std::int64_t FrameSamples(mpg123_handle* h) {
  mpg123_frameinfo2 info{};
  if (mpg123_info2(h, &info) != MPG123_OK) return 1152;
  if (info.layer == 1) return 384;
  return info.layer == 3 && info.version != MPG123_1_0 ? 576 : 1152;
}

}  // namespace

bool FindSilences(const std::string& path, const SilenceSettings& settings, SilenceScan& scan,
                  std::string& error, const std::function<void(std::int64_t, std::int64_t)>& progress,
                  const std::atomic<bool>* cancel) {
  scan = SilenceScan{};
  std::int64_t fileSize = 0;
  const int fd = OpenRegularFile(path, fileSize, error);
  if (fd < 0) return false;
  const bool found = FindSilences(fd, fileSize, path, settings, scan, error, progress, cancel);
  ::close(fd);
  return found;
}

bool FindSilences(int fd, std::int64_t fileSize, const std::string& path, const SilenceSettings& settings,
                  SilenceScan& scan, std::string& error,
                  const std::function<void(std::int64_t, std::int64_t)>& progress, const std::atomic<bool>* cancel) {
  scan = SilenceScan{};
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
  // The decoder reads from the descriptor's offset.
  if (::lseek(fd, 0, SEEK_SET) != 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }

  int err = MPG123_OK;
  std::unique_ptr<mpg123_handle, HandleCloser> handle(mpg123_new(nullptr, &err));
  mpg123_handle* h = handle.get();
  if (h == nullptr) {
    error = path + ": the decoder could not start: " + mpg123_plain_strerror(err);
    return false;
  }
  mpg123_param(h, MPG123_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
  // A damaged stretch is passed over to the next frame, however far, as a
  // cut's walk does: by default the decoder gives up after 1 KiB.
  mpg123_param(h, MPG123_RESYNC_LIMIT, -1, 0.0);
  mpg123_format_none(h);
  const long* rates = nullptr;
  std::size_t rateCount = 0;
  mpg123_rates(&rates, &rateCount);
  for (std::size_t i = 0; i < rateCount; ++i)
    mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  // The handle reads the descriptor; closing the handle leaves it open.
  if (mpg123_open_fd(h, fd) != MPG123_OK) {
    error = path + ": cannot be decoded: " + mpg123_strerror(h);
    return false;
  }

  std::unique_ptr<SilenceDetector> detector;
  std::int64_t samplesBefore = 0;  // of the formats before the current one
  std::int64_t minSilence = 0;
  bool decoded = false;
  // A split counts every frame as long as the first one: a frame of another
  // sampling frequency takes that long on its clock, loud or silent as its
  // own samples are.
  bool foreign = false;
  std::int64_t firstFrameSamples = 0;
  int detectorChannels = 0;
  for (int frames = 0;; ++frames) {
    if (cancel != nullptr && cancel->load()) {
      error = path + ": the search for silences was interrupted";
      break;
    }
    off_t number = 0;
    unsigned char* audio = nullptr;
    std::size_t bytes = 0;
    const int r = mpg123_decode_frame(h, &number, &audio, &bytes);
    if (r == MPG123_NEW_FORMAT) {
      long rate = 0;
      int channels = 0, encoding = 0;
      mpg123_getformat(h, &rate, &channels, &encoding);
      if (scan.SampleRate == 0) {
        scan.SampleRate = static_cast<std::int32_t>(rate);
        firstFrameSamples = FrameSamples(h);
      }
      foreign = rate != scan.SampleRate;
      // Back after foreign frames in the same format: the count goes on.
      if (foreign || (detector && channels == detectorChannels)) continue;
      if (detector) {
        // A new format inside one file: the silences so far are kept, and
        // the count goes on from where the old format ended.
        for (const Silence& s : detector->Finish())
          if (s.End < detector->Position())
            scan.Silences.push_back({s.Start + samplesBefore, s.End + samplesBefore});
        samplesBefore += detector->Position();
      }
      minSilence = NanosecondsToSamples(settings.MinSilenceNs, static_cast<std::int32_t>(rate));
      detector = std::make_unique<SilenceDetector>(settings.ThresholdDb, minSilence, channels);
      detectorChannels = channels;
      continue;
    }
    if (r == MPG123_DONE) {
      decoded = true;
      break;
    }
    if (r != MPG123_OK) {
      error = path + ": cannot be decoded: " + mpg123_strerror(h);
      break;
    }
    if (detector && foreign) {
      const auto* samples = reinterpret_cast<const std::int16_t*>(audio);
      detector->FeedStretch(firstFrameSamples, detector->AnyLoud(samples, bytes / sizeof(std::int16_t)));
    } else if (detector && bytes > 0) {
      detector->Feed(reinterpret_cast<const std::int16_t*>(audio), bytes / sizeof(std::int16_t));
    }
    if (progress && frames % kProgressEveryFrames == 0) progress(mpg123_tell_stream(h), fileSize);
  }
  handle.reset();
  if (!decoded) return false;
  // A file that shrank (or grew) while it was decoded gave points of a file
  // that no longer is: the split would cut another one.
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_size != fileSize) {
    error = path + ": the file changed while it was decoded (" + std::to_string(fileSize) + " bytes, now " +
            std::to_string(static_cast<long long>(st.st_size)) + ")";
    return false;
  }
  if (!detector) {
    error = path + ": no audio could be decoded";
    return false;
  }
  for (const Silence& s : detector->Finish()) scan.Silences.push_back({s.Start + samplesBefore, s.End + samplesBefore});
  scan.Samples = samplesBefore + detector->Position();
  if (progress) progress(fileSize, fileSize);
  return true;
}
