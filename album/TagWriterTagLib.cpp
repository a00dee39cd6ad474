// The TagLib side of WriteTags, built into the module that a run loads only
// when it writes tags (see TagWriterModule.h).

#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

#include "album/TagWriterModule.h"

namespace {

// properties() and setProperties() are not virtual in TagLib 1: each tag
// type is called as itself, or only the basic fields would be seen.
template <typename TagType>
void Apply(TagType* tag, const char* const* properties, const char* const* values, std::size_t count) {
  TagLib::PropertyMap map = tag->properties();
  for (std::size_t i = 0; i < count; ++i) {
    const TagLib::String name(properties[i]);
    if (values[i][0] == '\0') {
      map.erase(name);
    } else {
      map.replace(name, TagLib::StringList(TagLib::String(values[i], TagLib::String::UTF8)));
    }
  }
  tag->setProperties(map);
}

int Write(const char* path, const char* const* properties, const char* const* values, std::size_t count) {
  TagLib::MPEG::File file(path, false);
  if (!file.isValid()) return kTagsCannotOpen;
  Apply(file.ID3v2Tag(true), properties, values, count);
  const bool hasV1 = file.hasID3v1Tag();
  if (hasV1) Apply(file.ID3v1Tag(), properties, values, count);
  if (!file.save(TagLib::MPEG::File::ID3v2 | (hasV1 ? TagLib::MPEG::File::ID3v1 : 0), TagLib::File::StripNone,
                 TagLib::ID3v2::v4, TagLib::File::DoNotDuplicate))
    return kTagsCannotSave;
  return kTagsSaved;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int kerfwell_write_tags_1(const char* path,
                                                                            const char* const* properties,
                                                                            const char* const* values,
                                                                            std::size_t count) {
  // Nothing may unwind into the caller, which may run another C++ runtime.
  try {
    return Write(path, properties, values, count);
  } catch (...) {
    return kTagsFailed;
  }
}

// The entry has the type that the program calls it as.
[[maybe_unused]] constexpr TagModuleEntry kEntryHasItsDeclaredType = &kerfwell_write_tags_1;
