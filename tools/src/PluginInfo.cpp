#include "PluginInfo.h"

#include "FileNames.h"
#include "Json.h"

#include "framework/Capabilities.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace plughost {

namespace {

std::string format(const char *pattern, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char *pattern, ...) {
  char buffer[512];
  va_list args;
  va_start(args, pattern);
  std::vsnprintf(buffer, sizeof buffer, pattern, args);
  va_end(args);
  return buffer;
}

std::string orDash(const std::string &text) { return text.empty() ? "-" : text; }

} // namespace

PluginInfo collectPluginInfo(host::PluginInstance &instance, const std::string &path) {
  PluginInfo info;
  const fw::EffectRecord *record = instance.record();
  info.path = path;
  info.effectName = instance.text(fw::kReqEffectName);
  info.vendor = instance.text(fw::kReqVendorText);
  info.product = instance.text(fw::kReqProductText);
  info.vendorVersion = static_cast<int32_t>(instance.dispatch(fw::kReqVendorVersion));
  info.uniqueId = record->effectId;
  info.version = record->effectVersion;
  info.inputs = record->inputCount;
  info.outputs = record->outputCount;
  info.flags = record->flags;
  info.category = static_cast<int32_t>(instance.dispatch(fw::kReqCategory));
  info.delay = record->delaySamples;
  info.currentProgram = static_cast<int32_t>(instance.dispatch(fw::kReqGetProgram));

  const int32_t programs = record->programCount > 0 ? record->programCount : 0;
  bool indexed = true;
  for (int32_t p = 0; p < programs && indexed; ++p) {
    char name[256] = {};
    indexed = instance.dispatch(fw::kReqProgramNameAt, p, 0, name) != 0;
    if (indexed) {
      info.programs.emplace_back(name, strnlen(name, sizeof name - 1));
    }
  }
  if (!indexed) {
    info.programs.clear();
    for (int32_t p = 0; p < programs; ++p) {
      instance.dispatch(fw::kReqSetProgram, 0, p);
      info.programs.push_back(instance.programName());
    }
    instance.dispatch(fw::kReqSetProgram, 0, info.currentProgram);
  }

  for (int32_t i = 0; i < record->paramCount; ++i) {
    ParamInfo param;
    param.index = i;
    param.name = instance.paramName(i);
    param.label = instance.paramLabel(i);
    param.value = instance.getParam(i);
    param.display = instance.paramDisplay(i);
    info.params.push_back(param);
  }
  for (const char *keyword : fw::kEffectCapabilityKeywords) {
    info.capabilities.emplace_back(keyword, instance.capability(keyword));
  }
  return info;
}

std::string uniqueIdText(int32_t id) {
  const auto u = static_cast<uint32_t>(id);
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const auto c = static_cast<char>((u >> shift) & 0xFF);
    if (c < 0x20 || c > 0x7E) {
      return format("0x%08X", u);
    }
    text += c;
  }
  return text;
}

std::vector<std::string> flagNames(uint32_t flags) {
  static const struct {
    uint32_t mask;
    const char *name;
  } kNames[] = {
      {fw::kFlagClipMeter, "clipMeter"},           {fw::kFlagLevelMeter, "levelMeter"},
      {fw::kFlagMonoCapable, "monoCapable"},       {fw::kFlagOverwriting, "overwriting"},
      {fw::kFlagStateBlocks, "stateBlocks"},       {fw::kFlagInstrument, "instrument"},
      {fw::kFlagSilentInStop, "silentInStop"},     {fw::kFlagAsync, "async"},
      {fw::kFlagExternalBuffer, "externalBuffer"},
  };
  std::vector<std::string> names;
  for (int bit = 0; bit < 32; ++bit) {
    const uint32_t mask = 1u << bit;
    if ((flags & mask) == 0) {
      continue;
    }
    // Bit 0 is the interface's "has an editor window" bit.
    std::string name = bit == 0 ? "editor" : "bit" + std::to_string(bit);
    for (const auto &known : kNames) {
      if (known.mask == mask) {
        name = known.name;
      }
    }
    names.push_back(name);
  }
  return names;
}

std::string categoryName(int32_t category) {
  static const char *const kNames[] = {"unknown",     "effect",  "instrument",  "analysis",
                                       "mastering",   "spatial", "room effect", "surround",
                                       "restoration", "offline", "shell",       "generator"};
  if (category >= 0 && category < static_cast<int32_t>(sizeof kNames / sizeof *kNames)) {
    return kNames[category];
  }
  return "other";
}

std::string formatInfoText(const PluginInfo &info) {
  std::string out;
  std::string flags;
  for (const auto &name : flagNames(info.flags)) {
    flags += (flags.empty() ? "" : " ") + name;
  }
  out += format("Plug-in         %s\n", info.path.c_str());
  out += format("Effect name     %s\n", orDash(info.effectName).c_str());
  out += format("Vendor          %s\n", orDash(info.vendor).c_str());
  out += format("Product         %s\n", orDash(info.product).c_str());
  out += format("Vendor version  %d\n", info.vendorVersion);
  out += format("Unique id       %s (0x%08X)\n", uniqueIdText(info.uniqueId).c_str(),
                static_cast<uint32_t>(info.uniqueId));
  out += format("Version         %d\n", info.version);
  out += format("Inputs          %d\n", info.inputs);
  out += format("Outputs         %d\n", info.outputs);
  out += format("Flags           0x%X (%s)\n", info.flags, flags.empty() ? "none" : flags.c_str());
  out += format("Category        %d (%s)\n", info.category, categoryName(info.category).c_str());
  out += format("Delay           %d samples\n", info.delay);

  out += format("\nPrograms (%d, current %d)\n", static_cast<int>(info.programs.size()),
                info.currentProgram);
  for (std::size_t p = 0; p < info.programs.size(); ++p) {
    out += format("  %3d  %s\n", static_cast<int>(p), info.programs[p].c_str());
  }

  std::size_t nameWidth = 4, labelWidth = 5;
  for (const auto &param : info.params) {
    nameWidth = std::max(nameWidth, trimmed(param.name).size());
    labelWidth = std::max(labelWidth, trimmed(param.label).size());
  }
  const int nw = static_cast<int>(nameWidth), lw = static_cast<int>(labelWidth);
  out += format("\nParameters (%d)\n", static_cast<int>(info.params.size()));
  if (!info.params.empty()) {
    out += format("  %5s  %-*s  %-*s  %-10s  %s\n", "index", nw, "name", lw, "label", "value",
                  "display");
  }
  for (const auto &param : info.params) {
    out += format("  %5d  %-*s  %-*s  %-10.6f  %s\n", param.index, nw, trimmed(param.name).c_str(),
                  lw, trimmed(param.label).c_str(), static_cast<double>(param.value),
                  trimmed(param.display).c_str());
  }

  out += "\nCapabilities (answers to the effect keywords)\n";
  std::string line;
  for (std::size_t i = 0; i < info.capabilities.size(); ++i) {
    line += format("  %-20s %2d", info.capabilities[i].first.c_str(), info.capabilities[i].second);
    if (i % 3 == 2 || i + 1 == info.capabilities.size()) {
      out += line + "\n";
      line.clear();
    }
  }
  return out;
}

std::string formatInfoJson(const PluginInfo &info) {
  std::string out = "{\n";
  const auto field = [&out](const char *name, const std::string &value, bool last = false) {
    out += format("  \"%s\": ", name) + value + (last ? "\n" : ",\n");
  };
  field("path", jsonString(info.path));
  field("effectName", jsonString(info.effectName));
  field("vendor", jsonString(info.vendor));
  field("product", jsonString(info.product));
  field("vendorVersion", std::to_string(info.vendorVersion));
  field("uniqueId", jsonString(uniqueIdText(info.uniqueId)));
  field("uniqueIdNumber", std::to_string(static_cast<uint32_t>(info.uniqueId)));
  field("version", std::to_string(info.version));
  field("inputs", std::to_string(info.inputs));
  field("outputs", std::to_string(info.outputs));
  field("flags", std::to_string(info.flags));
  std::string names;
  for (const auto &name : flagNames(info.flags)) {
    names += (names.empty() ? "" : ", ") + jsonString(name);
  }
  field("flagNames", "[" + names + "]");
  field("category", std::to_string(info.category));
  field("categoryName", jsonString(categoryName(info.category)));
  field("delay", std::to_string(info.delay));
  field("currentProgram", std::to_string(info.currentProgram));
  std::string programs;
  for (std::size_t p = 0; p < info.programs.size(); ++p) {
    programs +=
        format("%s\n    {\"index\": %d, \"name\": ", p == 0 ? "" : ",", static_cast<int>(p)) +
        jsonString(info.programs[p]) + "}";
  }
  field("programs", "[" + programs + (programs.empty() ? "]" : "\n  ]"));
  std::string params;
  for (const auto &param : info.params) {
    params += format("%s\n    {\"index\": %d, \"name\": ", params.empty() ? "" : ",", param.index) +
              jsonString(param.name) + ", \"label\": " + jsonString(param.label) +
              ", \"value\": " + jsonNumber(param.value) +
              ", \"display\": " + jsonString(param.display) + "}";
  }
  field("parameters", "[" + params + (params.empty() ? "]" : "\n  ]"));
  std::string capabilities;
  for (const auto &capability : info.capabilities) {
    capabilities += (capabilities.empty() ? "\n    " : ",\n    ") + jsonString(capability.first) +
                    ": " + std::to_string(capability.second);
  }
  field("capabilities", "{" + capabilities + "\n  }", true);
  return out + "}\n";
}

} // namespace plughost
