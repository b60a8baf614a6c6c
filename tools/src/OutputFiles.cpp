#include "OutputFiles.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <process.h>
#define PLUGHOST_GETPID _getpid
#else
#include <unistd.h>
#define PLUGHOST_GETPID getpid
#endif

namespace fs = std::filesystem;

namespace plughost {

namespace {

// The temporaries that exist right now, in fixed storage so that the
// interrupt handler can remove them without allocating.
constexpr int kMaxPending = 64;
constexpr std::size_t kMaxPath = 4096;
char gPending[kMaxPending][kMaxPath];
volatile std::sig_atomic_t gPendingUsed[kMaxPending];

void notePending(const std::string &path) {
  if (path.size() >= kMaxPath) {
    return;
  }
  for (int i = 0; i < kMaxPending; ++i) {
    if (gPendingUsed[i] == 0) {
      std::memcpy(gPending[i], path.c_str(), path.size() + 1);
      gPendingUsed[i] = 1;
      return;
    }
  }
}

void forgetPending(const std::string &path) {
  for (int i = 0; i < kMaxPending; ++i) {
    if (gPendingUsed[i] != 0 && path == gPending[i]) {
      gPendingUsed[i] = 0;
    }
  }
}

extern "C" void onInterrupt(int signal) {
  for (int i = 0; i < kMaxPending; ++i) {
    if (gPendingUsed[i] != 0) {
      std::remove(gPending[i]);
    }
  }
  std::_Exit(128 + signal);
}

} // namespace

void removeTemporariesOnInterrupt() {
  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);
}

OutputFiles::~OutputFiles() {
  if (!committed_) {
    discard();
  }
}

bool OutputFiles::add(const std::string &finalPath, std::string &temporaryPath,
                      std::string &error) {
  std::error_code ec;
  const fs::path target(finalPath);
  const fs::path canonical = fs::weakly_canonical(target, ec);
  for (const auto &other : finals_) {
    std::error_code ec2;
    if (fs::weakly_canonical(fs::path(other), ec2) == canonical) {
      error = "two outputs would be written to '" + finalPath + "'";
      return false;
    }
  }
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  if (!fs::is_directory(folder, ec)) {
    error = "cannot write '" + finalPath + "': folder '" + folder.string() + "' does not exist";
    return false;
  }
  if (fs::is_directory(target, ec)) {
    error = "cannot write '" + finalPath + "': it is a directory";
    return false;
  }
  const std::string name = target.filename().string();
  temporaryPath =
      (folder / ("." + name + ".plughost-" + std::to_string(PLUGHOST_GETPID()) + ".tmp")).string();
  finals_.push_back(finalPath);
  temporaries_.push_back(temporaryPath);
  notePending(temporaryPath);
  return true;
}

bool OutputFiles::commit(std::string &error) {
  for (std::size_t i = 0; i < finals_.size(); ++i) {
    std::error_code ec;
    if (!fs::exists(temporaries_[i], ec)) {
      error = "internal error: '" + finals_[i] + "' was not written";
      discard();
      return false;
    }
    fs::rename(temporaries_[i], finals_[i], ec); // replaces an existing file
    if (ec) {
      error = "cannot write '" + finals_[i] + "': " + ec.message();
      discard();
      return false;
    }
    forgetPending(temporaries_[i]);
  }
  committed_ = true;
  return true;
}

void OutputFiles::discard() {
  for (const auto &temporary : temporaries_) {
    std::error_code ec;
    fs::remove(temporary, ec);
    forgetPending(temporary);
  }
}

} // namespace plughost
