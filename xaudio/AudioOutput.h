#pragma once

// Where decoded samples go: interleaved signed 16-bit frames at the stream's
// rate. An output holds a short queue of samples; Delay says how much of it
// is still to be heard, Drop silences it at once.

#include <chrono>
#include <memory>
#include <string>

namespace xaudio {

class AudioOutput {
 public:
  virtual ~AudioOutput() = default;

  // False with a reason when the device cannot play this format.
  virtual bool Open(long rate, int channels, std::string& error) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  virtual long Rate() const = 0;
  virtual int Channels() const = 0;

  // Queues up to `frames` sample frames, waiting at most `wait` for room.
  // Returns the frames taken (0 when there was no room), -1 when the device
  // failed for good.
  virtual long Write(const short* pcm, long frames, std::chrono::milliseconds wait) = 0;
  // Frames written that are not yet heard.
  virtual long Delay() = 0;
  // Starts playing what is queued even if less than the device waits for.
  virtual void Start() = 0;
  // Discards everything queued; the output is silent when it returns.
  virtual void Drop() = 0;
};

// ALSA PCM `device` ("default" for the system's sound output).
std::unique_ptr<AudioOutput> MakeAlsaOutput(const std::string& device);
// Takes samples at the pace a device would and plays nothing.
std::unique_ptr<AudioOutput> MakeSilentOutput();

}  // namespace xaudio
