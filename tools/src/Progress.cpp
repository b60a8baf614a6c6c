#include "Progress.h"

#include "FileNames.h"

#include <cstdio>

namespace plughost {

Progress::Progress(int64_t total, bool allowed)
    : total_(total > 0 ? total : 1), enabled_(allowed && isTerminal(2)), start_(Clock::now()),
      lastDraw_(start_) {}

Progress::~Progress() {
  if (shown_) {
    std::fprintf(stderr, "\r%60s\r", "");
    std::fflush(stderr);
  }
}

void Progress::update(int64_t done) {
  if (!enabled_) {
    return;
  }
  const auto now = Clock::now();
  if (now - start_ < std::chrono::seconds(1) || now - lastDraw_ < std::chrono::milliseconds(100)) {
    return;
  }
  lastDraw_ = now;
  shown_ = true;
  constexpr int kWidth = 40;
  const double fraction = static_cast<double>(done) / static_cast<double>(total_);
  const int filled = static_cast<int>(fraction * kWidth);
  char bar[kWidth + 1];
  for (int i = 0; i < kWidth; ++i) {
    bar[i] = i < filled ? '#' : '-';
  }
  bar[kWidth] = '\0';
  std::fprintf(stderr, "\rrendering [%s] %3d%%", bar, static_cast<int>(fraction * 100.0));
  std::fflush(stderr);
}

} // namespace plughost
