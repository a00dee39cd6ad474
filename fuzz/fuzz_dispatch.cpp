// The player component's notification dispatch on arbitrary records, posted
// through the fake library's real message channel. Every handler must get
// exactly the fields that the dispatch table below names, taken from the
// record after the record handler has had its say; codes without an event,
// and empty slots, raise nothing; a component destroyed by its own record
// handler raises nothing more.
//
// The table is written out here on its own, from the wire layout, so that it
// checks the component's switch instead of restating it.
#include <fuzzer/FuzzedDataProvider.h>

#include <QApplication>
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "preview/XaudioPlayer.h"
#include "tests/fake_xaudio/FakeXaudio.h"

namespace {

// ---- The dispatch table ----------------------------------------------------

enum class Kind { Byte, U16, S16, U32, S32, Text, Record };
struct Field {
  Kind kind;
  int offset;  // in the 16-byte wire record
};
struct Row {
  const char* event;
  std::vector<Field> fields;
};

const std::map<std::int32_t, Row>& Table() {
  using K = Kind;
  static const std::map<std::int32_t, Row> table = {
      {64, {"Ready", {}}},
      {65, {"Ack", {{K::Byte, 4}}}},
      {66, {"Nack", {{K::Byte, 4}, {K::S16, 6}}}},
      {67, {"Pong", {{K::U32, 4}}}},
      {68, {"Exited", {}}},
      {69, {"PlayerState", {{K::Byte, 4}}}},
      {70, {"PlayerMode", {{K::S32, 4}}}},
      {71, {"PlayerEnvironmentInteger", {{K::Text, 4}, {K::S32, 8}}}},
      {72, {"PlayerEnvironmentString", {{K::Text, 4}, {K::Text, 8}}}},
      {73, {"InputState", {{K::Byte, 4}}}},
      {74, {"InputName", {{K::Text, 4}}}},
      {75, {"InputCaps", {{K::U32, 4}}}},
      {76, {"InputPosition", {{K::U32, 4}, {K::U32, 8}}}},
      {77, {"InputPositionRange", {{K::S32, 4}}}},
      {78, {"InputTimecode", {{K::Byte, 4}, {K::Byte, 5}, {K::Byte, 6}, {K::Byte, 7}}}},
      {79, {"InputTimecodeGranularity", {{K::U32, 4}}}},
      {80, {"InputDuration", {{K::U32, 4}}}},
      {81, {"InputStreamInfo", {{K::Byte, 4}, {K::Byte, 5}, {K::U16, 6}, {K::U16, 8}, {K::Byte, 10}}}},
      {82, {"InputModule", {{K::S16, 4}}}},
      {83, {"InputModuleInfo", {{K::Byte, 4}, {K::Byte, 5}, {K::Text, 8}, {K::Text, 12}}}},
      {84, {"InputDeviceInfo", {{K::Byte, 4}, {K::Byte, 5}, {K::Byte, 6}, {K::Text, 8}, {K::Text, 12}}}},
      {85, {"InputFilterInfo", {{K::Byte, 8}, {K::Text, 4}}}},
      {86, {"OutputState", {{K::Byte, 4}}}},
      {87, {"OutputName", {{K::Text, 4}}}},
      {88, {"OutputCaps", {{K::U32, 4}}}},
      {89, {"OutputVolume", {{K::Byte, 4}, {K::Byte, 5}, {K::Byte, 6}}}},
      {90, {"OutputBalance", {{K::Byte, 6}}}},
      {91, {"OutputPcmLevel", {{K::Byte, 5}}}},
      {92, {"OutputMasterLevel", {{K::Byte, 4}}}},
      {93, {"OutputChannels", {{K::Byte, 4}}}},
      {94, {"OutputPorts", {{K::Byte, 4}}}},
      {96, {"OutputModule", {{K::S16, 4}}}},
      {97, {"OutputModuleInfo", {{K::Byte, 4}, {K::Byte, 5}, {K::Text, 8}, {K::Text, 12}}}},
      {98, {"OutputDeviceInfo", {{K::Byte, 4}, {K::Byte, 5}, {K::Byte, 6}, {K::Text, 8}, {K::Text, 12}}}},
      {99, {"OutputFilterInfo", {{K::Byte, 8}, {K::Text, 4}}}},
      {100, {"CodecQuality", {{K::Byte, 4}}}},
      {101, {"CodecEqualizer", {{K::Record, 4}}}},
      {102, {"NotificationMask", {{K::U32, 4}}}},
      {103, {"DebugLevel", {{K::Byte, 4}}}},
      {104, {"Progress", {{K::Byte, 4}, {K::Byte, 5}, {K::S16, 6}, {K::Text, 8}}}},
      {105, {"Debug", {{K::Byte, 4}, {K::Byte, 5}, {K::Text, 8}}}},
      {106, {"Error", {{K::Byte, 4}, {K::S16, 6}, {K::Text, 8}}}},
  };
  return table;
}

const Row* RowOf(std::int32_t code) {
  const auto it = Table().find(code);
  return it == Table().end() ? nullptr : &it->second;
}

// Whether the data word at wire offset 4, 8 or 12 carries a pointer for this code.
bool IsPointerWord(std::int32_t code, int word) {
  const Row* row = RowOf(code);
  if (row == nullptr) return false;
  for (const Field& f : row->fields) {
    if ((f.kind == Kind::Text || f.kind == Kind::Record) && (f.offset - 4) / 4 == word) return true;
  }
  return false;
}

std::uint8_t WireByte(const XA_Message& m, int offset) {
  return static_cast<std::uint8_t>(m.data[(offset - 4) / 4] >> (8 * ((offset - 4) % 4)));
}
std::uint32_t WireU32(const XA_Message& m, int offset, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | WireByte(m, offset + i);
  return v;
}

// ---- What a handler received -----------------------------------------------

using Value = std::variant<std::int64_t, QString, std::string>;  // number, text, record bytes
struct Event {
  std::string name;
  std::vector<Value> args;
  bool operator==(const Event&) const = default;
};

std::string Describe(const Event& e) {
  std::string s = e.name + "(";
  for (const Value& v : e.args) {
    if (const auto* n = std::get_if<std::int64_t>(&v)) s += std::to_string(*n);
    if (const auto* t = std::get_if<QString>(&v)) s += "\"" + t->toStdString() + "\"";
    if (const auto* r = std::get_if<std::string>(&v)) s += "record of " + std::to_string(r->size());
    s += ", ";
  }
  return s + ")";
}

std::string RecordBytes(const XA_EqualizerInfo& e) {
  return std::string(reinterpret_cast<const char*>(&e), sizeof e);
}

Event Expected(const XA_Message& m) {
  const Row* row = RowOf(m.code);
  Event e;
  e.name = row->event;
  for (const Field& f : row->fields) {
    switch (f.kind) {
      case Kind::Byte:
        e.args.emplace_back(std::int64_t{WireByte(m, f.offset)});
        break;
      case Kind::U16:
        e.args.emplace_back(std::int64_t{WireU32(m, f.offset, 2)});
        break;
      case Kind::S16:
        e.args.emplace_back(std::int64_t{static_cast<std::int16_t>(WireU32(m, f.offset, 2))});
        break;
      case Kind::U32:
        e.args.emplace_back(std::int64_t{WireU32(m, f.offset, 4)});
        break;
      case Kind::S32:
        e.args.emplace_back(std::int64_t{static_cast<std::int32_t>(WireU32(m, f.offset, 4))});
        break;
      case Kind::Text: {
        const char* text = reinterpret_cast<const char*>(m.data[(f.offset - 4) / 4]);
        e.args.emplace_back(text ? QString::fromLocal8Bit(text) : QString());
        break;
      }
      case Kind::Record: {
        // A missing record reaches the handler as a flat one.
        const auto* record = reinterpret_cast<const XA_EqualizerInfo*>(m.data[(f.offset - 4) / 4]);
        e.args.emplace_back(RecordBytes(record ? *record : XA_EqualizerInfo{}));
        break;
      }
    }
  }
  return e;
}

// ---- The component under test and its recorder ----------------------------

struct Script {
  std::vector<XA_Message> posted;
  std::vector<XA_Message> replacement;  // code 0 x: left as posted
  std::vector<bool> rewrite;
  int destroyAt = -1;
};

struct Recorder {
  std::vector<Event> events;
  std::vector<XA_Message> messages;  // as OnNotifyMessage received them
  const Script* script = nullptr;
  std::vector<std::string> faults;
};

QApplication* g_app = nullptr;
TXaudioPlayer* g_player = nullptr;
Recorder g_rec;

Value ToValue(const QString& v) { return v; }
Value ToValue(const XA_EqualizerInfo& v) { return RecordBytes(v); }
template <typename T>
requires std::is_integral_v<T> Value ToValue(T v) { return static_cast<std::int64_t>(v); }

auto Rec(const char* name) {
  return [name](QObject* sender, const auto&... args) {
    if (sender != g_player) g_rec.faults.push_back(std::string("wrong sender for ") + name);
    Event e;
    e.name = name;
    (e.args.push_back(ToValue(args)), ...);
    g_rec.events.push_back(std::move(e));
  };
}

// Assigns the events whose bit is set in `mask`, empties the others.
void Bind(TXaudioPlayer& p, std::uint64_t mask) {
  int bit = 0;
#define KERFWELL_BIND(Name)          \
  do {                               \
    if (mask >> bit & 1) {           \
      p.OnNotify##Name = Rec(#Name); \
    } else {                         \
      p.OnNotify##Name = nullptr;    \
    }                                \
    ++bit;                           \
  } while (0)
  KERFWELL_BIND(Ready);
  KERFWELL_BIND(Ack);
  KERFWELL_BIND(Nack);
  KERFWELL_BIND(Pong);
  KERFWELL_BIND(Exited);
  KERFWELL_BIND(PlayerState);
  KERFWELL_BIND(PlayerMode);
  KERFWELL_BIND(PlayerEnvironmentInteger);
  KERFWELL_BIND(PlayerEnvironmentString);
  KERFWELL_BIND(InputState);
  KERFWELL_BIND(InputName);
  KERFWELL_BIND(InputCaps);
  KERFWELL_BIND(InputPosition);
  KERFWELL_BIND(InputPositionRange);
  KERFWELL_BIND(InputTimecode);
  KERFWELL_BIND(InputTimecodeGranularity);
  KERFWELL_BIND(InputDuration);
  KERFWELL_BIND(InputStreamInfo);
  KERFWELL_BIND(InputModule);
  KERFWELL_BIND(InputModuleInfo);
  KERFWELL_BIND(InputDeviceInfo);
  KERFWELL_BIND(InputFilterInfo);
  KERFWELL_BIND(OutputState);
  KERFWELL_BIND(OutputName);
  KERFWELL_BIND(OutputCaps);
  KERFWELL_BIND(OutputVolume);
  KERFWELL_BIND(OutputBalance);
  KERFWELL_BIND(OutputPcmLevel);
  KERFWELL_BIND(OutputMasterLevel);
  KERFWELL_BIND(OutputChannels);
  KERFWELL_BIND(OutputPorts);
  KERFWELL_BIND(OutputModule);
  KERFWELL_BIND(OutputModuleInfo);
  KERFWELL_BIND(OutputDeviceInfo);
  KERFWELL_BIND(OutputFilterInfo);
  KERFWELL_BIND(CodecQuality);
  KERFWELL_BIND(CodecEqualizer);
  KERFWELL_BIND(NotificationMask);
  KERFWELL_BIND(DebugLevel);
  KERFWELL_BIND(Progress);
  KERFWELL_BIND(Debug);
  KERFWELL_BIND(Error);
#undef KERFWELL_BIND

  // The record handler: checks what arrived, may rewrite it, may destroy the component.
  p.OnNotifyMessage = [](QObject* sender, XA_Message& msg) {
    const std::size_t i = g_rec.messages.size();
    if (sender != g_player) g_rec.faults.push_back("wrong sender for Message");
    g_rec.messages.push_back(msg);
    const Script& s = *g_rec.script;
    if (i < s.rewrite.size() && s.rewrite[i]) msg = s.replacement[i];
    if (static_cast<int>(i) == s.destroyAt) {
      delete g_player;
      g_player = nullptr;
    }
  };
}

// Which events each row raises when assigned: the event names in slot order.
const std::vector<std::string>& SlotNames() {
  static const std::vector<std::string> names = {"Ready",
                                                 "Ack",
                                                 "Nack",
                                                 "Pong",
                                                 "Exited",
                                                 "PlayerState",
                                                 "PlayerMode",
                                                 "PlayerEnvironmentInteger",
                                                 "PlayerEnvironmentString",
                                                 "InputState",
                                                 "InputName",
                                                 "InputCaps",
                                                 "InputPosition",
                                                 "InputPositionRange",
                                                 "InputTimecode",
                                                 "InputTimecodeGranularity",
                                                 "InputDuration",
                                                 "InputStreamInfo",
                                                 "InputModule",
                                                 "InputModuleInfo",
                                                 "InputDeviceInfo",
                                                 "InputFilterInfo",
                                                 "OutputState",
                                                 "OutputName",
                                                 "OutputCaps",
                                                 "OutputVolume",
                                                 "OutputBalance",
                                                 "OutputPcmLevel",
                                                 "OutputMasterLevel",
                                                 "OutputChannels",
                                                 "OutputPorts",
                                                 "OutputModule",
                                                 "OutputModuleInfo",
                                                 "OutputDeviceInfo",
                                                 "OutputFilterInfo",
                                                 "CodecQuality",
                                                 "CodecEqualizer",
                                                 "NotificationMask",
                                                 "DebugLevel",
                                                 "Progress",
                                                 "Debug",
                                                 "Error"};
  return names;
}

bool Assigned(const std::string& event, std::uint64_t mask) {
  const auto& names = SlotNames();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == event) return mask >> i & 1;
  }
  return false;
}

// ---- Records from the fuzz bytes -------------------------------------------

struct Storage {
  std::deque<std::string> texts;
  std::deque<XA_EqualizerInfo> records;
};

std::int32_t PickCode(FuzzedDataProvider& in) {
  const std::uint8_t selector = in.ConsumeIntegral<std::uint8_t>();
  if (selector >= 0xF0) return in.ConsumeIntegral<std::int32_t>();
  return 60 + selector % 50;  // every notification code and a few beside them
}

XA_Message MakeRecord(FuzzedDataProvider& in, Storage& storage) {
  XA_Message m{};
  m.code = PickCode(in);
  for (int w = 0; w < 3; ++w) {
    if (!IsPointerWord(m.code, w)) {
      // All of the word, the bytes beyond the wire record included.
      m.data[w] = in.ConsumeIntegral<std::uintptr_t>();
      continue;
    }
    if (in.ConsumeBool()) continue;  // a null pointer
    const bool record = RowOf(m.code)->fields[0].kind == Kind::Record;
    if (record) {
      XA_EqualizerInfo& e = storage.records.emplace_back();
      const std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(sizeof e);
      if (!bytes.empty()) std::memcpy(&e, bytes.data(), bytes.size());
      m.data[w] = reinterpret_cast<std::uintptr_t>(&e);
    } else {
      // Up to the first zero, as the library hands texts over.
      std::string& text = storage.texts.emplace_back(in.ConsumeRandomLengthString(64));
      m.data[w] = reinterpret_cast<std::uintptr_t>(text.c_str());
    }
  }
  return m;
}

bool SameRecord(const XA_Message& a, const XA_Message& b) {
  return a.code == b.code && std::memcmp(a.data, b.data, sizeof a.data) == 0;
}

void NewPlayer(std::uint64_t mask) {
  g_player = new TXaudioPlayer(nullptr);
  Bind(*g_player, mask);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "fuzz_dispatch";
  static char* argv[] = {name, nullptr};
  g_app = new QApplication(argc, argv);
  fake_xaudio::Reset();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::uint8_t options = in.ConsumeIntegral<std::uint8_t>();
  const std::uint64_t all = (std::uint64_t{1} << SlotNames().size()) - 1;
  const std::uint64_t mask = (options & 1) ? in.ConsumeIntegral<std::uint64_t>() & all : all;

  Script script;
  Storage storage;
  if (options & 2) script.destroyAt = in.ConsumeIntegralInRange<int>(0, 15);
  while (in.remaining_bytes() > 0 && script.posted.size() < 64) {
    script.posted.push_back(MakeRecord(in, storage));
    const bool rewrite = (options & 4) && in.ConsumeBool();
    script.rewrite.push_back(rewrite);
    script.replacement.push_back(rewrite ? MakeRecord(in, storage) : XA_Message{});
  }

  fake_xaudio::ClearCalls();
  g_rec = Recorder{};
  g_rec.script = &script;
  if (g_player == nullptr) NewPlayer(all);
  Bind(*g_player, mask);

  for (const XA_Message& m : script.posted) FUZZ_CHECK(fake_xaudio::Post(m), "posting failed");
  FUZZ_CHECK(fake_xaudio::Deliver(), "notifications left undelivered");

  // What every handler should have got, record by record.
  std::vector<Event> expected;
  const std::size_t reached =
      script.destroyAt >= 0 && static_cast<std::size_t>(script.destroyAt) < script.posted.size()
          ? static_cast<std::size_t>(script.destroyAt) + 1
          : script.posted.size();
  for (std::size_t i = 0; i < reached; ++i) {
    if (static_cast<int>(i) == script.destroyAt) break;  // the component is gone: nothing more
    const XA_Message& effective = script.rewrite[i] ? script.replacement[i] : script.posted[i];
    const Row* row = RowOf(effective.code);
    if (row != nullptr && Assigned(row->event, mask)) expected.push_back(Expected(effective));
  }

  FUZZ_CHECK(g_rec.faults.empty(), "%s", g_rec.faults.front().c_str());
  FUZZ_CHECK(g_rec.messages.size() == reached, "%zu records reached the record handler, expected %zu",
             g_rec.messages.size(), reached);
  for (std::size_t i = 0; i < reached; ++i) {
    FUZZ_CHECK(SameRecord(g_rec.messages[i], script.posted[i]),
               "record %zu arrived changed (code %d, posted %d)", i, g_rec.messages[i].code,
               script.posted[i].code);
  }
  FUZZ_CHECK(g_rec.events.size() == expected.size(), "%zu events raised, expected %zu", g_rec.events.size(),
             expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    FUZZ_CHECK(g_rec.events[i] == expected[i], "event %zu: got %s, expected %s", i,
               Describe(g_rec.events[i]).c_str(), Describe(expected[i]).c_str());
  }

  // A component that its own handler destroyed is replaced by the next input;
  // what was still queued for it goes with it.
  if (g_player == nullptr) {
    FUZZ_CHECK(fake_xaudio::CurrentPlayer() == nullptr, "the destroyed component left its player alive");
    fake_xaudio::Reset();
  }
  return 0;
}
