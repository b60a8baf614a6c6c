// Loads one of our plug-in libraries through the host code, as a real host would.
#pragma once

#include "host/PluginHost.h"

#include <doctest/doctest.h>

#include <memory>
#include <string>

struct LoadedPlugin {
  std::unique_ptr<host::PluginLibrary> library;
  std::unique_ptr<host::PluginInstance> instance;

  explicit LoadedPlugin(const char *fileName, host::HostAnswers answers = {}) {
    std::string error;
    library = host::PluginLibrary::load(fileName, error);
    REQUIRE_MESSAGE(library != nullptr, error);
    instance = host::PluginInstance::open(library->mainFunction(), error, std::move(answers));
    REQUIRE_MESSAGE(instance != nullptr, error);
  }
  ~LoadedPlugin() { instance.reset(); } // close before unloading

  host::PluginInstance &operator*() { return *instance; }
  host::PluginInstance *operator->() { return instance.get(); }
};
