#include "LoadedPlugin.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace plughost {

namespace {

#if defined(_WIN32)
constexpr const char *kLibrarySuffix = ".dll";
#else
constexpr const char *kLibrarySuffix = ".so";
#endif

bool isFile(const fs::path &path) {
  std::error_code ec;
  return fs::exists(path, ec) && !fs::is_directory(path, ec);
}

} // namespace

void LoadedPlugin::close() {
  instance.reset();
  library.reset();
}

std::string findPluginLibrary(const std::string &given) {
  const fs::path path(given);
  if (isFile(path)) {
    // The host looks up bare names beside the program; a file named here is
    // meant relative to the current folder.
    return path.has_parent_path() ? given : (fs::path(".") / path).string();
  }
  if (!path.has_parent_path()) {
    const fs::path beside = fs::path(host::executableDirectory()) / path;
    if (isFile(beside)) {
      return beside.string();
    }
    fs::path withSuffix = beside;
    withSuffix += kLibrarySuffix;
    if (isFile(withSuffix)) {
      return withSuffix.string();
    }
  }
  return std::string();
}

bool loadPlugin(const std::string &given, LoadedPlugin &plugin, std::string &error) {
  const std::string file = findPluginLibrary(given);
  if (file.empty()) {
    error = "cannot load plug-in '" + given + "': no such file";
    return false;
  }
  std::string reason;
  plugin.library = host::PluginLibrary::load(file, reason);
  if (!plugin.library) {
    error = reason;
    return false;
  }
  plugin.instance = host::PluginInstance::open(plugin.library->mainFunction(), reason);
  if (!plugin.instance) {
    error = "'" + given + "': " + reason;
    plugin.close();
    return false;
  }
  const fw::EffectRecord *record = plugin.instance->record();
  if (record->dispatchEntry == nullptr) {
    error = "'" + given + "': the plug-in's record has no dispatcher entry";
    (void)plugin.instance.release(); // nothing can close it
    plugin.close();
    return false;
  }
  plugin.instance->dispatch(fw::kReqOpen);
  return true;
}

} // namespace plughost
