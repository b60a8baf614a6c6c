// What a host sees of a plug-in: identity, counts, flags, programs,
// parameters and capability answers, as text or as JSON.
#pragma once

#include "host/PluginHost.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace plughost {

struct ParamInfo {
  int32_t index = 0;
  std::string name, label, display; // as the plug-in wrote them, spaces included
  float value = 0.0f;
};

struct PluginInfo {
  std::string path;
  std::string effectName, vendor, product;
  int32_t vendorVersion = 0;
  int32_t uniqueId = 0;
  int32_t version = 0;
  int32_t inputs = 0, outputs = 0;
  uint32_t flags = 0;
  int32_t category = 0;
  int32_t delay = 0;
  int32_t currentProgram = 0;
  std::vector<std::string> programs;
  std::vector<ParamInfo> params;
  std::vector<std::pair<std::string, int32_t>> capabilities; // every effect keyword
};

// Asks the open instance everything above. Program names come from the
// indexed request, or else by selecting each program in turn (the current
// program is selected again afterwards).
PluginInfo collectPluginInfo(host::PluginInstance &instance, const std::string &path);

std::string uniqueIdText(int32_t id); // 'QER2', or 0x... when not printable
std::vector<std::string> flagNames(uint32_t flags);
std::string categoryName(int32_t category);

std::string formatInfoText(const PluginInfo &info);
std::string formatInfoJson(const PluginInfo &info);

} // namespace plughost
