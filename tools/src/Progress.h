// A progress bar on standard error for long renders: drawn only when
// standard error is a terminal and only once a second has passed, so quick
// renders and redirected runs stay quiet.
#pragma once

#include <chrono>
#include <cstdint>

namespace plughost {

class Progress {
public:
  Progress(int64_t total, bool allowed);
  ~Progress(); // clears the bar
  void update(int64_t done);

private:
  using Clock = std::chrono::steady_clock;
  int64_t total_;
  bool enabled_;
  bool shown_ = false;
  Clock::time_point start_;
  Clock::time_point lastDraw_;
};

} // namespace plughost
