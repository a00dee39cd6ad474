#pragma once

// The input: an MPEG audio file decoded frame by frame with libmpg123.
// Frames are numbered from 0 in file order, the LAME/Xing information frame
// included, so that frame indexes match a plain count of frame headers.

#include <cstdint>
#include <memory>
#include <string>

#include "xaudio/FileReader.h"

typedef struct mpg123_handle_struct mpg123_handle;

namespace xaudio {

struct StreamInfo {
  uint8_t level = 0;  // 1 MPEG-1, 2 MPEG-2, 3 MPEG-2.5
  uint8_t layer = 0;
  uint16_t bitrate = 0;  // kbit/s
  uint16_t frequency = 0;
  uint8_t mode = 0;  // the header's channel mode
};

struct DecodedFrame {
  int64_t index = 0;
  const int16_t* pcm = nullptr;
  long samples = 0;  // per channel
  bool format_changed = false;
};

class Decoder {
 public:
  enum class Result { kFrame, kEnd, kError };

  Decoder() = default;
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // Opens the file and reads its first frame; an XA error code, XA_SUCCESS
  // when it opened. Its frames are then counted by IndexSome.
  int Open(const std::string& path);
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }

  // Counting the frames of a long file takes seconds, so it goes a slice at a
  // time and the player serves its commands in between. Until it is done the
  // frame and sample counts are 0, and seeking and decoding fail. A slice
  // counts up to `frames` frames, fewer where much junk lies between them.
  enum class IndexResult { kMore, kDone, kFailed };
  IndexResult IndexSome(int frames);
  bool Indexing() const { return indexing_; }

  const std::string& Path() const { return path_; }
  int64_t FrameCount() const { return frame_count_; }
  int64_t SampleCount() const { return sample_count_; }
  long Rate() const { return rate_; }
  int Channels() const { return channels_; }
  int SamplesPerFrame() const { return samples_per_frame_; }
  const StreamInfo& Info() const { return info_; }

  // Positions the input so that the next frame decoded is `frame`; a frame at
  // or past the end leaves the input at its end.
  bool SeekFrame(int64_t frame);
  Result DecodeFrame(DecodedFrame& frame);

 private:
  mpg123_handle* handle_ = nullptr;
  std::unique_ptr<FileReader> reader_;
  std::string path_;
  int64_t frame_count_ = 0;
  int64_t sample_count_ = 0;
  long rate_ = 0;
  int channels_ = 0;
  int samples_per_frame_ = 0;
  StreamInfo info_;
  bool at_end_ = false;
  bool indexing_ = false;
  int64_t frames_seen_ = 0;
};

}  // namespace xaudio
