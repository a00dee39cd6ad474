#include "xaudio/Player.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "xaudio/Positions.h"

namespace xaudio {
namespace {

using std::chrono::milliseconds;

// Sources of error and debug notifications.
constexpr uint8_t kSourcePlayer = 0;
constexpr uint8_t kSourceInput = 1;
constexpr uint8_t kSourceOutput = 2;

// A range finer than the input's frames makes offsets jump; playback still
// reports the offsets in between, up to this many per frame, so that an owner
// waiting for one exact offset meets it.
constexpr int64_t kMaxOffsetsPerFrame = 64;

// Frames counted within the open itself: a short file opens as it always did,
// its duration told before the open is answered. A longer one is counted a
// slice at a time, a few milliseconds each, between commands.
constexpr int kOpenIndexFrames = 4096;
constexpr int kIndexSliceFrames = 1024;

// How long playback waits, after an input opened while playing, for the seek
// that places it.
constexpr milliseconds kAwaitSeekAfterOpen(100);

bool IsKnownCommand(int code) { return (code >= 1 && code <= 55) || (code >= 58 && code <= 63); }

}  // namespace

Player::Player(uint32_t window, uint32_t id) : notifier_(window, id) {
  const char* forced = std::getenv("KERFWELL_AUDIO_OUTPUT");
  forced_silent_ = forced != nullptr && std::strcmp(forced, "silent") == 0;
  thread_ = std::thread([this] { Run(); });
}

Player::~Player() {
  commands_.RequestQuit();
  if (thread_.joinable()) thread_.join();
  notifier_.Close();
}

int Player::Send(Command command) {
  return commands_.Push(std::move(command)) ? XA_SUCCESS : XA_ERROR_QUEUE_FULL;
}

void Player::Run() {
  Post(Notification(XA_MSG_NOTIFY_READY));
  milliseconds wait(0);
  for (;;) {
    Command command;
    milliseconds pop_wait = state_ == XA_PLAYER_STATE_PLAYING ? wait : milliseconds(-1);
    if (decoder_.Indexing()) pop_wait = milliseconds(0);
    const auto got = commands_.Pop(command, pop_wait);
    if (got == CommandQueue::PopResult::kQuit) break;
    if (got == CommandQueue::PopResult::kCommand) {
      Handle(command);
      wait = milliseconds(0);
      continue;
    }
    if (decoder_.Indexing()) {
      ContinueIndexing();
    } else if (state_ == XA_PLAYER_STATE_PLAYING) {
      wait = Step();
    }
  }
  if (output_) output_->Drop();
  output_.reset();
  decoder_.Close();
}

void Player::Nack(int command, int error) {
  Post(Notification(XA_MSG_NOTIFY_NACK)
           .Byte(4, static_cast<uint8_t>(command))
           .U16(6, static_cast<uint16_t>(static_cast<int16_t>(error))));
}

void Player::Error(uint8_t source, int error, const std::string& text) {
  Post(Notification(XA_MSG_NOTIFY_ERROR)
           .Byte(4, source)
           .U16(6, static_cast<uint16_t>(static_cast<int16_t>(error)))
           .Text(8, text));
}

void Player::Debug(uint8_t level, const std::string& text) {
  Post(Notification(XA_MSG_NOTIFY_DEBUG).Byte(4, kSourcePlayer).Byte(5, level).Text(8, text));
}

void Player::SetState(int state) {
  state_ = state;
  Post(Notification(XA_MSG_NOTIFY_PLAYER_STATE).Byte(4, static_cast<uint8_t>(state)));
}

void Player::Handle(const Command& c) {
  if (exited_) {
    Nack(c.code, XA_ERROR_NO_PLAYER);
    return;
  }
  int result = XA_SUCCESS;
  switch (c.code) {
    case XA_MSG_COMMAND_EXIT:
      Halt();
      CloseOutput();
      if (state_ != XA_PLAYER_STATE_STOPPED) SetState(XA_PLAYER_STATE_STOPPED);
      CloseInput();
      exited_ = true;
      Ack(c.code);
      Post(Notification(XA_MSG_NOTIFY_EXITED));
      return;
    case XA_MSG_COMMAND_PING:
      Post(Notification(XA_MSG_NOTIFY_PONG).U32(4, static_cast<uint32_t>(c.value1)));
      break;
    case XA_MSG_COMMAND_PLAY:
      result = Play();
      break;
    case XA_MSG_COMMAND_PAUSE:
      result = Pause();
      break;
    case XA_MSG_COMMAND_STOP:
      result = Stop();
      break;
    case XA_MSG_COMMAND_INPUT_SEEK:
      result = Seek(c.value1, c.value2);
      break;
    case XA_MSG_COMMAND_INPUT_OPEN:
      result = OpenInput(c.text1);
      break;
    case XA_MSG_COMMAND_INPUT_CLOSE:
      CloseInput();
      break;
    case XA_MSG_COMMAND_OUTPUT_CLOSE:
      if (state_ == XA_PLAYER_STATE_PLAYING || state_ == XA_PLAYER_STATE_PAUSED) {
        Halt();
        SetState(XA_PLAYER_STATE_STOPPED);
      }
      CloseOutput();
      break;
    case XA_MSG_COMMAND_OUTPUT_MODULE_REGISTER:
      if (c.text1 == kSystemOutputRegistration) {
        system_output_registered_ = true;
      } else {
        result = XA_ERROR_UNKNOWN_MODULE;
      }
      break;
    case XA_MSG_SET_PLAYER_MODE:
      player_mode_ = c.value1;
      break;
    case XA_MSG_GET_PLAYER_MODE:
      Post(Notification(XA_MSG_NOTIFY_PLAYER_MODE).U32(4, static_cast<uint32_t>(player_mode_)));
      break;
    case XA_MSG_SET_PLAYER_ENVIRONMENT_INTEGER:
      env_integers_[c.text1] = c.value1;
      break;
    case XA_MSG_GET_PLAYER_ENVIRONMENT_INTEGER: {
      auto it = env_integers_.find(c.text1);
      if (it == env_integers_.end()) {
        result = XA_ERROR_NO_SUCH_VARIABLE;
      } else {
        Post(Notification(XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_INTEGER)
                 .Text(4, it->first)
                 .U32(8, static_cast<uint32_t>(it->second)));
      }
      break;
    }
    case XA_MSG_SET_PLAYER_ENVIRONMENT_STRING:
      env_strings_[c.text1] = c.text2;
      break;
    case XA_MSG_GET_PLAYER_ENVIRONMENT_STRING: {
      auto it = env_strings_.find(c.text1);
      if (it == env_strings_.end()) {
        result = XA_ERROR_NO_SUCH_VARIABLE;
      } else {
        Post(Notification(XA_MSG_NOTIFY_PLAYER_ENVIRONMENT_STRING).Text(4, it->first).Text(8, it->second));
      }
      break;
    }
    case XA_MSG_UNSET_PLAYER_ENVIRONMENT:
      if (env_integers_.erase(c.text1) + env_strings_.erase(c.text1) == 0) result = XA_ERROR_NO_SUCH_VARIABLE;
      break;
    case XA_MSG_SET_INPUT_NAME:
      input_name_ = c.text1;
      break;
    case XA_MSG_GET_INPUT_NAME:
      Post(Notification(XA_MSG_NOTIFY_INPUT_NAME).Text(4, input_name_));
      break;
    case XA_MSG_SET_INPUT_MODULE:
      input_module_ = c.value1;
      break;
    case XA_MSG_GET_INPUT_MODULE:
      Post(Notification(XA_MSG_NOTIFY_INPUT_MODULE).U16(4, static_cast<uint16_t>(input_module_)));
      break;
    case XA_MSG_SET_INPUT_POSITION_RANGE:
      if (c.value1 <= 0) {
        result = XA_ERROR_INVALID_PARAMETERS;
      } else {
        range_ = c.value1;
        ResetReports();
      }
      break;
    case XA_MSG_GET_INPUT_POSITION_RANGE:
      Post(Notification(XA_MSG_NOTIFY_INPUT_POSITION_RANGE).U32(4, static_cast<uint32_t>(range_)));
      break;
    case XA_MSG_SET_INPUT_TIMECODE_GRANULARITY:
      timecode_granularity_ = c.value1;
      break;
    case XA_MSG_GET_INPUT_TIMECODE_GRANULARITY:
      Post(Notification(XA_MSG_NOTIFY_INPUT_TIMECODE_GRANULARITY)
               .U32(4, static_cast<uint32_t>(timecode_granularity_)));
      break;
    case XA_MSG_SET_OUTPUT_NAME:
      // Takes effect when the output next opens.
      output_name_ = c.text1;
      fallback_announced_ = false;
      break;
    case XA_MSG_GET_OUTPUT_NAME:
      Post(Notification(XA_MSG_NOTIFY_OUTPUT_NAME).Text(4, output_name_));
      break;
    case XA_MSG_SET_OUTPUT_MODULE:
      output_module_ = c.value1;
      break;
    case XA_MSG_GET_OUTPUT_MODULE:
      Post(Notification(XA_MSG_NOTIFY_OUTPUT_MODULE).U16(4, static_cast<uint16_t>(output_module_)));
      break;
    case XA_MSG_SET_OUTPUT_VOLUME:
      volume_[0] = static_cast<uint8_t>(c.value1);
      volume_[1] = static_cast<uint8_t>(c.value2);
      volume_[2] = static_cast<uint8_t>(c.value3);
      break;
    case XA_MSG_GET_OUTPUT_VOLUME:
      Post(Notification(XA_MSG_NOTIFY_OUTPUT_VOLUME)
               .Byte(4, volume_[0])
               .Byte(5, volume_[1])
               .Byte(6, volume_[2]));
      break;
    case XA_MSG_SET_OUTPUT_CHANNELS:
      output_channels_ = c.value1;
      break;
    case XA_MSG_GET_OUTPUT_CHANNELS:
      Post(Notification(XA_MSG_NOTIFY_OUTPUT_CHANNELS).Byte(4, static_cast<uint8_t>(output_channels_)));
      break;
    case XA_MSG_SET_OUTPUT_PORTS:
      output_ports_ = c.value1;
      break;
    case XA_MSG_GET_OUTPUT_PORTS:
      Post(Notification(XA_MSG_NOTIFY_OUTPUT_PORTS).U32(4, static_cast<uint32_t>(output_ports_)));
      break;
    case XA_MSG_SET_CODEC_QUALITY:
      codec_quality_ = c.value1;
      break;
    case XA_MSG_GET_CODEC_QUALITY:
      Post(Notification(XA_MSG_NOTIFY_CODEC_QUALITY).Byte(4, static_cast<uint8_t>(codec_quality_)));
      break;
    case XA_MSG_SET_CODEC_EQUALIZER:
      if (!c.has_record || c.record.size() != sizeof equalizer_) {
        result = XA_ERROR_INVALID_PARAMETERS;
      } else {
        std::memcpy(&equalizer_, c.record.data(), sizeof equalizer_);
      }
      break;
    case XA_MSG_GET_CODEC_EQUALIZER:
      Post(Notification(XA_MSG_NOTIFY_CODEC_EQUALIZER).Record(4, &equalizer_, sizeof equalizer_));
      break;
    case XA_MSG_SET_NOTIFICATION_MASK:
      notification_mask_ = c.value1;
      break;
    case XA_MSG_GET_NOTIFICATION_MASK:
      Post(Notification(XA_MSG_NOTIFY_NOTIFICATION_MASK).U32(4, static_cast<uint32_t>(notification_mask_)));
      break;
    case XA_MSG_SET_DEBUG_LEVEL:
      debug_level_ = c.value1;
      break;
    case XA_MSG_GET_DEBUG_LEVEL:
      Post(Notification(XA_MSG_NOTIFY_DEBUG_LEVEL).Byte(4, static_cast<uint8_t>(debug_level_)));
      break;
    default:
      // Modules, filters, messages to them, mute and the like: nothing of
      // ours depends on them, so they are accepted as they come.
      if (!IsKnownCommand(c.code)) result = XA_ERROR_UNSUPPORTED_COMMAND;
      break;
  }
  if (result == XA_SUCCESS) {
    Ack(c.code);
  } else {
    Nack(c.code, result);
  }
}

int Player::Play() {
  if (!decoder_.IsOpen()) return XA_ERROR_NO_INPUT;
  if (state_ == XA_PLAYER_STATE_PLAYING) return XA_SUCCESS;
  if (!EnsureOutput()) return XA_ERROR_NO_OUTPUT;
  drain_deadline_set_ = false;
  SetState(XA_PLAYER_STATE_PLAYING);
  return XA_SUCCESS;
}

int Player::Pause() {
  if (state_ == XA_PLAYER_STATE_PLAYING) {
    Halt();
    CloseOutput();
    SetState(XA_PLAYER_STATE_PAUSED);
  }
  return XA_SUCCESS;
}

int Player::Stop() {
  Halt();
  CloseOutput();
  SetState(XA_PLAYER_STATE_STOPPED);
  return XA_SUCCESS;
}

int Player::Seek(int32_t offset, int32_t range) {
  if (!decoder_.IsOpen()) return XA_ERROR_NO_INPUT;
  if (range <= 0 || offset < 0 || offset > range) return XA_ERROR_INVALID_PARAMETERS;
  if (output_) output_->Drop();
  in_flight_.clear();
  pending_ = nullptr;
  pending_samples_ = 0;
  drain_deadline_set_ = false;
  awaiting_seek_ = false;
  ResetReports();
  // Leaving the end of the input leaves the player stopped there.
  if (state_ == XA_PLAYER_STATE_EOF) SetState(XA_PLAYER_STATE_STOPPED);
  if (decoder_.Indexing()) {
    // Where the offset lies is known once the frames are counted.
    seek_pending_ = true;
    pending_offset_ = offset;
    pending_range_ = range;
    input_ended_ = false;
    return XA_SUCCESS;
  }
  const int64_t frame = FrameOfOffset(offset, range, decoder_.FrameCount());
  if (!decoder_.SeekFrame(frame)) {
    input_ended_ = true;
    return XA_ERROR_SEEK_FAILED;
  }
  input_ended_ = false;
  return XA_SUCCESS;
}

int Player::OpenInput(const std::string& path) {
  // Opening does not stop the player: one that plays (or is paused) goes on
  // with the new input. The owner sends Stop itself where playback must end.
  // What is heard of the old input goes at once.
  if (output_) output_->Drop();
  in_flight_.clear();
  pending_ = nullptr;
  pending_samples_ = 0;
  drain_deadline_set_ = false;
  awaiting_seek_ = false;
  seek_pending_ = false;
  // The end reached was the old input's.
  if (state_ == XA_PLAYER_STATE_EOF) SetState(XA_PLAYER_STATE_STOPPED);
  const bool was_open = decoder_.IsOpen();
  int error = decoder_.Open(path);
  if (error == XA_SUCCESS && decoder_.IndexSome(kOpenIndexFrames) == Decoder::IndexResult::kFailed) {
    decoder_.Close();
    error = XA_ERROR_NOT_MPEG_AUDIO;
  }
  if (error != XA_SUCCESS) {
    // Nothing is left to play.
    const bool was_playing = state_ == XA_PLAYER_STATE_PLAYING || state_ == XA_PLAYER_STATE_PAUSED;
    if (was_playing) Halt();
    CloseOutput();
    if (was_playing) SetState(XA_PLAYER_STATE_STOPPED);
    if (was_open) Post(Notification(XA_MSG_NOTIFY_INPUT_STATE).Byte(4, XA_INPUT_STATE_CLOSED));
    return error;
  }
  if (state_ == XA_PLAYER_STATE_PLAYING) {
    // An owner that opens an input while playing sends the seek to where the
    // new input is to play right behind the open; starting at the first frame
    // meanwhile would report a position the owner never asked for.
    awaiting_seek_ = true;
    awaiting_seek_until_ = std::chrono::steady_clock::now() + kAwaitSeekAfterOpen;
  }
  input_name_ = path;
  input_ended_ = false;
  ResetReports();
  const StreamInfo& info = decoder_.Info();
  Post(Notification(XA_MSG_NOTIFY_INPUT_STATE).Byte(4, XA_INPUT_STATE_OPEN));
  Post(Notification(XA_MSG_NOTIFY_INPUT_NAME).Text(4, path));
  Post(Notification(XA_MSG_NOTIFY_INPUT_STREAM_INFO)
           .Byte(4, info.level)
           .Byte(5, info.layer)
           .U16(6, info.bitrate)
           .U16(8, info.frequency)
           .Byte(10, info.mode));
  if (!decoder_.Indexing()) FinishIndexing();
  return XA_SUCCESS;
}

void Player::ContinueIndexing() {
  const Decoder::IndexResult r = decoder_.IndexSome(kIndexSliceFrames);
  if (r == Decoder::IndexResult::kMore) return;
  if (r == Decoder::IndexResult::kFailed) {
    Error(kSourceInput, XA_ERROR_NOT_MPEG_AUDIO, "cannot read the frames of " + decoder_.Path());
    CloseInput();
    return;
  }
  FinishIndexing();
}

void Player::FinishIndexing() {
  const int64_t seconds = decoder_.SampleCount() / decoder_.Rate();
  Post(Notification(XA_MSG_NOTIFY_INPUT_DURATION).U32(4, static_cast<uint32_t>(seconds)));
  if (!seek_pending_) return;  // counting left the input at its first frame
  seek_pending_ = false;
  const int64_t frame = FrameOfOffset(pending_offset_, pending_range_, decoder_.FrameCount());
  if (!decoder_.SeekFrame(frame)) {
    // The seek was answered already; what it could not do is said here.
    Error(kSourceInput, XA_ERROR_SEEK_FAILED, "cannot seek in " + decoder_.Path());
    input_ended_ = true;
  }
}

void Player::CloseInput() {
  if (state_ == XA_PLAYER_STATE_PLAYING || state_ == XA_PLAYER_STATE_PAUSED) Halt();
  CloseOutput();
  if (state_ != XA_PLAYER_STATE_STOPPED) SetState(XA_PLAYER_STATE_STOPPED);
  in_flight_.clear();
  pending_ = nullptr;
  pending_samples_ = 0;
  seek_pending_ = false;
  if (decoder_.IsOpen()) {
    decoder_.Close();
    Post(Notification(XA_MSG_NOTIFY_INPUT_STATE).Byte(4, XA_INPUT_STATE_CLOSED));
  }
}

bool Player::EnsureOutput() {
  const long rate = decoder_.Rate();
  const int channels = decoder_.Channels();
  if (output_ && output_->IsOpen() && output_->Rate() == rate && output_->Channels() == channels) return true;
  CloseOutput();
  std::string error;
  const bool silent = forced_silent_ || output_name_ == "silent";
  if (!silent) {
    auto device = MakeAlsaOutput(output_name_ == kSystemOutputName ? "default" : output_name_);
    if (device->Open(rate, channels, error)) {
      output_ = std::move(device);
    } else if (!fallback_announced_) {
      // Playback goes on without sound, so positions and the end of input
      // still come; the owner learns why nothing is heard.
      Error(kSourceOutput, XA_ERROR_OUTPUT_OPEN_FAILED, error + "; playing to the silent output");
      fallback_announced_ = true;
    }
  }
  if (!output_) {
    output_ = MakeSilentOutput();
    if (!output_->Open(rate, channels, error)) {
      output_.reset();
      Error(kSourceOutput, XA_ERROR_OUTPUT_OPEN_FAILED, error);
      return false;
    }
  }
  written_ = 0;
  Post(Notification(XA_MSG_NOTIFY_OUTPUT_STATE).Byte(4, XA_OUTPUT_STATE_OPEN));
  return true;
}

void Player::CloseOutput() {
  if (!output_) return;
  output_->Close();
  output_.reset();
  written_ = 0;
  Post(Notification(XA_MSG_NOTIFY_OUTPUT_STATE).Byte(4, XA_OUTPUT_STATE_CLOSED));
}

void Player::Halt() {
  awaiting_seek_ = false;
  if (output_) output_->Drop();
  // What was decoded but not heard is played again on the next Play.
  if (!in_flight_.empty() && decoder_.SeekFrame(in_flight_.front().frame)) input_ended_ = false;
  in_flight_.clear();
  pending_ = nullptr;
  pending_samples_ = 0;
  drain_deadline_set_ = false;
}

void Player::ResetReports() {
  last_offset_ = -1;
  last_second_ = -1;
}

void Player::ReportHeardFrames() {
  const int64_t heard = written_ - (output_ ? output_->Delay() : 0);
  while (!in_flight_.empty() && in_flight_.front().first_sample <= heard) {
    const int64_t frame = in_flight_.front().frame;
    in_flight_.pop_front();
    ReportFrame(frame);
  }
}

void Player::ReportFrame(int64_t frame) {
  const Timecode t = TimecodeOfFrame(frame, decoder_.SamplesPerFrame(), decoder_.Rate());
  if (t.whole_seconds != last_second_) {
    last_second_ = t.whole_seconds;
    Post(Notification(XA_MSG_NOTIFY_INPUT_TIMECODE)
             .Byte(4, t.hours)
             .Byte(5, t.minutes)
             .Byte(6, t.seconds)
             .Byte(7, t.fractions));
  }
  const int64_t offset = OffsetOfFrame(frame, decoder_.FrameCount(), range_);
  if (offset == last_offset_) return;
  int64_t first = offset;
  if (last_offset_ >= 0 && offset > last_offset_ + 1 && offset - last_offset_ <= kMaxOffsetsPerFrame) {
    first = last_offset_ + 1;
  }
  for (int64_t o = first; o <= offset; ++o) {
    Post(Notification(XA_MSG_NOTIFY_INPUT_POSITION)
             .U32(4, static_cast<uint32_t>(o))
             .U32(8, static_cast<uint32_t>(range_)));
  }
  last_offset_ = offset;
}

milliseconds Player::Step() {
  if (awaiting_seek_) {
    const auto left = awaiting_seek_until_ - std::chrono::steady_clock::now();
    if (left > milliseconds(0))
      return std::max(milliseconds(1), std::chrono::duration_cast<milliseconds>(left));
    awaiting_seek_ = false;
  }
  if (!EnsureOutput()) {
    Halt();
    SetState(XA_PLAYER_STATE_STOPPED);
    return milliseconds(0);
  }
  if (pending_samples_ == 0 && !input_ended_) {
    DecodedFrame frame;
    const Decoder::Result r = decoder_.DecodeFrame(frame);
    if (r == Decoder::Result::kFrame) {
      if (frame.format_changed &&
          (output_->Rate() != decoder_.Rate() || output_->Channels() != decoder_.Channels())) {
        // A stream that changes its rate midway: what is queued is cut short.
        output_->Drop();
        while (!in_flight_.empty()) {
          ReportFrame(in_flight_.front().frame);
          in_flight_.pop_front();
        }
        if (!EnsureOutput()) return milliseconds(0);
      }
      in_flight_.push_back(InFlight{frame.index, written_});
      pending_ = frame.pcm;
      pending_samples_ = frame.samples;
      if (debug_level_ >= 2) Debug(2, "decoded frame " + std::to_string(frame.index));
    } else {
      if (r == Decoder::Result::kError) {
        Error(kSourceInput, XA_ERROR_DECODE_FAILED, "cannot decode " + decoder_.Path() + " any further");
      }
      input_ended_ = true;
      output_->Start();
    }
  }
  if (pending_samples_ > 0) {
    const long n = output_->Write(pending_, pending_samples_, milliseconds(10));
    if (n < 0) {
      // The device went away: the rest plays silently, at the same pace.
      Error(kSourceOutput, XA_ERROR_NO_OUTPUT, "the audio device failed; playing to the silent output");
      const long rate = output_->Rate();
      const int channels = output_->Channels();
      std::string error;
      output_ = MakeSilentOutput();
      output_->Open(rate, channels, error);
    } else if (n > 0) {
      pending_ += n * output_->Channels();
      pending_samples_ -= n;
      written_ += n;
    }
  }
  ReportHeardFrames();
  if (input_ended_ && pending_samples_ == 0) {
    const auto now = std::chrono::steady_clock::now();
    if (!drain_deadline_set_) {
      // A device whose delay never reaches zero must not hold the end back.
      drain_deadline_ = now + std::chrono::milliseconds(output_->Delay() * 1000 / output_->Rate() + 500);
      drain_deadline_set_ = true;
    }
    if (output_->Delay() > 0 && now < drain_deadline_) return milliseconds(5);
    while (!in_flight_.empty()) {
      ReportFrame(in_flight_.front().frame);
      in_flight_.pop_front();
    }
    drain_deadline_set_ = false;
    CloseOutput();
    SetState(XA_PLAYER_STATE_EOF);
  }
  return milliseconds(0);
}

}  // namespace xaudio
