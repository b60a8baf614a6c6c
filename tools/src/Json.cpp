#include "Json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace plughost {

namespace {

// Length of the valid UTF-8 sequence at text[i], 0 when there is none.
std::size_t utf8Length(const std::string &text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t n = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (lead >= 0xF5 || n == 0 || i + n > text.size()) {
    return 0;
  }
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      return 0;
    }
  }
  return n;
}

} // namespace

std::string jsonString(const std::string &text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (const std::size_t n = utf8Length(text, i)) {
      out.append(text, i, n);
      i += n - 1;
    } else { // Latin-1 byte to UTF-8
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out + "\"";
}

std::string jsonNumber(float value) {
  if (!std::isfinite(value)) {
    return "null";
  }
  char buffer[32];
  for (int digits = 6; digits <= 9; ++digits) {
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, static_cast<double>(value));
    if (std::strtof(buffer, nullptr) == value) {
      break;
    }
  }
  return buffer;
}

} // namespace plughost
