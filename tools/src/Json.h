// Just enough JSON output for the tool: escaped strings and numbers.
#pragma once

#include <string>

namespace plughost {

// A JSON string literal, quotes included. Bytes that are not valid UTF-8
// are taken as Latin-1 characters.
std::string jsonString(const std::string &text);
// A JSON number for a float (shortest form that reads back the same
// float), or null for infinities and not-a-number.
std::string jsonNumber(float value);

} // namespace plughost
