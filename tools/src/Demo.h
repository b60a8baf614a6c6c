// `plughost demo`: renders the built-in drum loop through QERN and GAIN,
// found beside the tool, and tells where the files are.
#pragma once

#include <cstdio>
#include <string>

namespace plughost {

// Answers the exit status; prints the summary to `out` and errors to
// standard error.
int runDemo(const std::string &folder, std::FILE *out);

} // namespace plughost
