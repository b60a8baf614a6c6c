// Small helpers for texts and file names.
#pragma once

#include <string>

namespace plughost {

std::string toLower(std::string text);
std::string trimmed(const std::string &text); // without leading and trailing white space
// The extension without its dot ("" when there is none): "a/b.Wav" gives "Wav".
std::string extensionOf(const std::string &path);
// "out.wav" with n = 3 gives "out-3.wav"; "out" gives "out-3".
std::string numberedName(const std::string &path, int n);
// True when `path` names a readable regular file; otherwise a one-line reason.
bool checkReadable(const std::string &path, std::string &error);
bool isTerminal(int fd);

} // namespace plughost
