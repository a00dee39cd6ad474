#include "album/TagWriter.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <vector>

#include "album/TagWriterModule.h"
#include "album/Utf8.h"

#ifndef KERFWELL_BIN_TO_LIB
#define KERFWELL_BIN_TO_LIB "../lib/kerfwell"
#endif

namespace {

struct Key {
  const char* Name;
  const char* Property;
};

constexpr Key kKeys[] = {{"title", "TITLE"}, {"artist", "ARTIST"},      {"album", "ALBUM"},
                         {"track", "TRACKNUMBER"}, {"date", "DATE"}, {"genre", "GENRE"},
                         {"comment", "COMMENT"}};

const char* PropertyOf(const std::string& key) {
  for (const Key& k : kKeys)
    if (key == k.Name) return k.Property;
  return nullptr;
}

// The folder of the running program, "" when it cannot be told.
std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "";
  const std::string exe(path, static_cast<std::size_t>(n));
  const std::size_t slash = exe.rfind('/');
  return slash == std::string::npos ? "" : exe.substr(0, slash);
}

struct Module {
  TagModuleEntry Entry = nullptr;
  std::string Error;  // why it could not be loaded
};

// Looked for in an installed tree's private library folder, then beside the
// program (a build tree), then where the dynamic loader looks for libraries.
Module Load() {
  Module module;
  const std::string folder = ProgramFolder();
  std::vector<std::string> places;
  if (!folder.empty()) {
    places.push_back(folder + "/" KERFWELL_BIN_TO_LIB "/" + kTagModuleName);
    places.push_back(folder + "/" + kTagModuleName);
  }
  places.push_back(kTagModuleName);
  for (const std::string& place : places) {
    void* handle = ::dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* why = ::dlerror();
      // A module that is there but cannot be loaded (a library it needs is
      // missing) says why; one that is not there is looked for further on.
      if (place.find('/') != std::string::npos && ::access(place.c_str(), F_OK) == 0) {
        module.Error = why != nullptr ? why : place + ": cannot be loaded";
        return module;
      }
      continue;
    }
    module.Entry = reinterpret_cast<TagModuleEntry>(::dlsym(handle, kTagModuleEntry));
    if (module.Entry == nullptr) {
      module.Error = place + " is not the tag writer of this version of Kerfwell";
      ::dlclose(handle);
    }
    return module;
  }
  module.Error =
      std::string(kTagModuleName) + " was not found in " +
      (folder.empty() ? std::string("the library path")
                      : folder + "/" KERFWELL_BIN_TO_LIB ", in " + folder + " or in the library path");
  return module;
}

// Loaded once, on first use, and kept: TagLib holds state of its own.
const Module& LoadModule() {
  static const Module module = Load();
  return module;
}

}  // namespace

bool IsTagKey(const std::string& key) { return PropertyOf(key) != nullptr; }

bool ParseTagEdit(const std::string& text, TagEdit& edit, std::string& error) {
  const std::size_t eq = text.find('=');
  edit.Key = text.substr(0, eq);
  edit.Value = eq == std::string::npos ? "" : text.substr(eq + 1);
  if (eq == std::string::npos || !IsTagKey(edit.Key)) {
    error = "--tag \"" + text + "\": expected KEY=VALUE with KEY one of title, artist, album, track, date, " +
            "genre, comment";
    return false;
  }
  std::size_t bad = 0;
  if (CheckUtf8(edit.Value, bad) != Utf8Form::Valid) {
    error = "--tag " + edit.Key + ": the value is not valid UTF-8 (byte " + std::to_string(bad + 1) +
            " of it); tags hold UTF-8 text";
    return false;
  }
  return true;
}

bool TagWriterLoads(const std::string& path, std::string& error) {
  const Module& module = LoadModule();
  if (module.Entry != nullptr) return true;
  error = path + ": its tags could not be written: the tag writer could not be loaded: " + module.Error;
  return false;
}

bool WriteTags(const std::string& path, const std::vector<TagEdit>& edits, std::string& error) {
  return WriteTags(path, path, edits, error);
}

bool WriteTags(const std::string& path, const std::string& shown, const std::vector<TagEdit>& edits,
               std::string& error) {
  if (edits.empty()) return true;
  std::vector<const char*> properties;
  std::vector<const char*> values;
  for (const TagEdit& e : edits) {
    const char* property = PropertyOf(e.Key);
    if (property == nullptr) {
      error = "unknown tag field " + e.Key;
      return false;
    }
    properties.push_back(property);
    values.push_back(e.Value.c_str());
  }
  if (!TagWriterLoads(shown, error)) return false;
  const Module& module = LoadModule();
  switch (module.Entry(path.c_str(), properties.data(), values.data(), properties.size())) {
    case kTagsSaved:
      return true;
    case kTagsCannotOpen:
      error = shown + ": cannot be opened to write its tags";
      return false;
    default:
      error = shown + ": its tags could not be written";
      return false;
  }
}
