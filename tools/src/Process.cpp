#include "Process.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <process.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace plughost {

std::string findOnPath(const std::string &name) {
  const char *path = std::getenv("PATH");
  if (path == nullptr) {
    return std::string();
  }
#if defined(_WIN32)
  const char separator = ';';
  const std::string fileName = name + ".exe";
#else
  const char separator = ':';
  const std::string &fileName = name;
#endif
  std::string list(path);
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(separator, start);
    if (end == std::string::npos) {
      end = list.size();
    }
    const std::string folder = list.substr(start, end - start);
    if (!folder.empty()) {
      const fs::path candidate = fs::path(folder) / fileName;
      std::error_code ec;
      if (fs::is_regular_file(candidate, ec)) {
        return candidate.string();
      }
    }
    start = end + 1;
  }
  return std::string();
}

int runProgram(const std::string &program, const std::vector<std::string> &args,
               const std::string &errorLog) {
#if defined(_WIN32)
  // Arguments that hold spaces need quotes on the command line Windows builds.
  std::vector<std::string> quoted;
  quoted.push_back("\"" + program + "\"");
  for (const auto &arg : args) {
    quoted.push_back("\"" + arg + "\"");
  }
  std::vector<const char *> argv;
  for (const auto &arg : quoted) {
    argv.push_back(arg.c_str());
  }
  argv.push_back(nullptr);
  (void)errorLog;
  const intptr_t status = _spawnv(_P_WAIT, program.c_str(), argv.data());
  return status < 0 ? -1 : static_cast<int>(status);
#else
  std::vector<char *> argv;
  argv.push_back(const_cast<char *>(program.c_str()));
  for (const auto &arg : args) {
    argv.push_back(const_cast<char *>(arg.c_str()));
  }
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (!errorLog.empty()) {
    posix_spawn_file_actions_addopen(&actions, 2, errorLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
  }
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) {
    return -1;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      return -1;
    }
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
}

} // namespace plughost
