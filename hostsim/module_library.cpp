// Opens an effect module the way the hosts do: by path, resolving the two
// exported entry points by name. A file that is missing, is no loadable
// library, or lacks either entry point is refused with the loader's reason.
#include <utility>

#include "hostsim/simulated_host.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace shardcast::hostsim {
namespace {

#if defined(_WIN32)
void* open_library(const std::filesystem::path& path, std::string& reason) {
  HMODULE module = LoadLibraryW(path.wstring().c_str());
  if (module == nullptr) {
    reason = "LoadLibrary failed with error " + std::to_string(GetLastError());
  }
  return reinterpret_cast<void*>(module);
}

void* find_symbol(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

void close_library(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
#else
void* open_library(const std::filesystem::path& path, std::string& reason) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* error = dlerror();
    reason = error != nullptr ? error : "dlopen failed";
    // The loader names the file first; the caller names it already.
    if (const std::string named = path.string() + ": "; reason.starts_with(named)) {
      reason.erase(0, named.size());
    }
  }
  return handle;
}

void* find_symbol(void* handle, const char* name) { return dlsym(handle, name); }

void close_library(void* handle) { dlclose(handle); }
#endif

template <typename Function>
Function symbol_as(void* handle, const char* name) {
  // Object and function pointers share a representation on every platform
  // the hosts run on; the loaders hand out functions this way.
  return reinterpret_cast<Function>(find_symbol(handle, name));
}

}  // namespace

ModuleLibrary::ModuleLibrary(const std::filesystem::path& path) {
  std::string reason;
  handle_ = open_library(path, reason);
  if (handle_ == nullptr) {
    throw ModuleLoadError("cannot load " + path.string() + ": " + reason);
  }
  entry_points_.effect_main = symbol_as<EffectMainFunction>(handle_, "EffectMain");
  entry_points_.plugin_data_entry =
      symbol_as<PluginDataEntryFunction>(handle_, "PluginDataEntryFunction");
  if (entry_points_.effect_main == nullptr || entry_points_.plugin_data_entry == nullptr) {
    close_library(handle_);
    handle_ = nullptr;
    throw ModuleLoadError(path.string() +
                          " does not export both EffectMain and PluginDataEntryFunction");
  }
}

ModuleLibrary::ModuleLibrary(ModuleLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      entry_points_(std::exchange(other.entry_points_, {})) {}

ModuleLibrary& ModuleLibrary::operator=(ModuleLibrary&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr) {
      close_library(handle_);
    }
    handle_ = std::exchange(other.handle_, nullptr);
    entry_points_ = std::exchange(other.entry_points_, {});
  }
  return *this;
}

ModuleLibrary::~ModuleLibrary() {
  if (handle_ != nullptr) {
    close_library(handle_);
  }
}

}  // namespace shardcast::hostsim
