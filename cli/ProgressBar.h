#pragma once

#include <cstdint>
#include <string>

// A one-line progress bar on standard error, drawn only when standard error
// is a terminal and `quiet` is false; otherwise every call does nothing.
class ProgressBar {
 public:
  explicit ProgressBar(bool quiet = false);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void Start(const std::string& label);
  // Whether anything is drawn at all: a run whose bar is not shown need not
  // be told of every frame.
  bool Enabled() const { return enabled_; }
  // Redraws only when the shown percentage changes.
  void Show(std::int64_t done, std::int64_t total);
  // Removes the bar so that a message can take the line.
  void Clear();

 private:
  bool enabled_;
  bool drawn_ = false;
  int percent_ = -1;
  std::string label_;
};
