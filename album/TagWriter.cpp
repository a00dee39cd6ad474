#include "album/TagWriter.h"

#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

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

// properties() and setProperties() are not virtual in TagLib 1: each tag
// type is called as itself, or only the basic fields would be seen.
template <typename TagType>
void Apply(TagType* tag, const std::vector<TagEdit>& edits) {
  TagLib::PropertyMap properties = tag->properties();
  for (const TagEdit& e : edits) {
    const TagLib::String name(PropertyOf(e.Key));
    if (e.Value.empty()) {
      properties.erase(name);
    } else {
      properties.replace(name, TagLib::StringList(TagLib::String(e.Value, TagLib::String::UTF8)));
    }
  }
  tag->setProperties(properties);
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
  return true;
}

bool WriteTags(const std::string& path, const std::vector<TagEdit>& edits, std::string& error) {
  if (edits.empty()) return true;
  for (const TagEdit& e : edits) {
    if (!IsTagKey(e.Key)) {
      error = "unknown tag field " + e.Key;
      return false;
    }
  }
  TagLib::MPEG::File file(path.c_str(), false);
  if (!file.isValid()) {
    error = path + ": cannot be opened to write its tags";
    return false;
  }
  Apply(file.ID3v2Tag(true), edits);
  const bool hasV1 = file.hasID3v1Tag();
  if (hasV1) Apply(file.ID3v1Tag(), edits);
  if (!file.save(TagLib::MPEG::File::ID3v2 | (hasV1 ? TagLib::MPEG::File::ID3v1 : 0), TagLib::File::StripNone,
                 TagLib::ID3v2::v4, TagLib::File::DoNotDuplicate)) {
    error = path + ": its tags could not be written";
    return false;
  }
  return true;
}
