// A plug-in as the tool uses it: its library and one open instance, found
// from what the user typed.
#pragma once

#include "host/PluginHost.h"

#include <memory>
#include <string>

namespace plughost {

struct LoadedPlugin {
  std::unique_ptr<host::PluginLibrary> library;
  std::unique_ptr<host::PluginInstance> instance;

  LoadedPlugin() = default;
  LoadedPlugin(LoadedPlugin &&) = default;
  LoadedPlugin &operator=(LoadedPlugin &&) = default;
  ~LoadedPlugin() { close(); }
  // Closes the instance, then unloads the library.
  void close();
};

// The library file for `given`: the path itself when it names a file;
// otherwise, for a bare name, the library of that name beside this program
// ("QERN" finds QERN.so or QERN.dll there). Empty when nothing is found.
std::string findPluginLibrary(const std::string &given);

// Loads the library, calls its main and sends the open request. On failure
// `error` holds one line.
bool loadPlugin(const std::string &given, LoadedPlugin &plugin, std::string &error);

} // namespace plughost
