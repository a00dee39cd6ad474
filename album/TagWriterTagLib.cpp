// The TagLib side of WriteTags, built into the module that a run loads only
// when it writes tags (see TagWriterModule.h).

#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

#include "album/TagWriterModule.h"

namespace {

// TagLib reads an ID3v2.3 tag as 2.4 and drops the frames 2.4 has no place
// for. Those that stand alone are kept as they are; a tag read from 2.3 is
// written back as 2.3, where they belong. (TDAT and TIME are folded into the
// recording date, which a 2.3 tag gets back as TYER, TDAT and TIME.)
//
// The frame header type is TagLib's protected own; its name is taken from
// the method's signature.
template <typename Method>
struct ParameterOf;
template <typename Result, typename Class, typename Parameter>
struct ParameterOf<Result (Class::*)(Parameter) const> {
  using Type = Parameter;
};
struct FactoryTypes : TagLib::ID3v2::FrameFactory {
  using HeaderPointer = ParameterOf<decltype(&FactoryTypes::updateFrame)>::Type;
};

class KeepingFrameFactory : public TagLib::ID3v2::FrameFactory {
 public:
  static KeepingFrameFactory& Instance() {
    static KeepingFrameFactory factory;
    return factory;
  }

 protected:
  bool updateFrame(FactoryTypes::HeaderPointer header) const override {
    const TagLib::ByteVector id = header->frameID();
    if (header->version() == 3 && (id == "EQUA" || id == "RVAD" || id == "TSIZ" || id == "TRDA")) return true;
    return TagLib::ID3v2::FrameFactory::updateFrame(header);
  }
};

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
  TagLib::MPEG::File file(path, &KeepingFrameFactory::Instance(), false);
  if (!file.isValid()) return kTagsCannotOpen;
  const bool v23 = file.hasID3v2Tag() && file.ID3v2Tag()->header()->majorVersion() == 3;
  Apply(file.ID3v2Tag(true), properties, values, count);
  const bool hasV1 = file.hasID3v1Tag();
  if (hasV1) Apply(file.ID3v1Tag(), properties, values, count);
  if (!file.save(TagLib::MPEG::File::ID3v2 | (hasV1 ? TagLib::MPEG::File::ID3v1 : 0), TagLib::File::StripNone,
                 v23 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4, TagLib::File::DoNotDuplicate))
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
