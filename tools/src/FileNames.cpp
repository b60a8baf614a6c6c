#include "FileNames.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace plughost {

std::string toLower(std::string text) {
  for (char &c : text) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return text;
}

std::string trimmed(const std::string &text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) {
    ++begin;
  }
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) {
    --end;
  }
  return text.substr(begin, end - begin);
}

namespace {
std::size_t nameStart(const std::string &path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? 0 : slash + 1;
}
} // namespace

std::string extensionOf(const std::string &path) {
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < nameStart(path) || dot == nameStart(path)) {
    return std::string();
  }
  return path.substr(dot + 1);
}

std::string numberedName(const std::string &path, int n) {
  const std::string extension = extensionOf(path);
  const std::string stem =
      extension.empty() ? path : path.substr(0, path.size() - extension.size() - 1);
  return stem + "-" + std::to_string(n) + (extension.empty() ? "" : "." + extension);
}

bool checkReadable(const std::string &path, std::string &error) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(status)) {
    error = "cannot read '" + path + "': no such file";
    return false;
  }
  if (std::filesystem::is_directory(status)) {
    error = "cannot read '" + path + "': it is a directory";
    return false;
  }
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = "cannot read '" + path + "': " + std::strerror(errno);
    return false;
  }
  std::fclose(file);
  return true;
}

bool isTerminal(int fd) {
#if defined(_WIN32)
  return _isatty(fd) != 0;
#else
  return isatty(fd) != 0;
#endif
}

} // namespace plughost
