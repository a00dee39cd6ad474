// Starting the player: the interface version check, player_new with the
// notification window, its failure box, Priority and ErrorString.
#include <gtest/gtest.h>

#include <QObject>
#include <memory>

#include "platform/post_message.h"
#include "preview/XaudioPlayer.h"
#include "tests/fake_xaudio/FakeXaudio.h"
#include "tests/player/ScriptedDialogs.h"

namespace {

class ConstructionTest : public ::testing::Test {
 protected:
  void SetUp() override { fake_xaudio::Reset(); }
  ScriptedDialogs dialogs_;
};

struct VersionCase {
  unsigned long version;
  const char* expectedText;  // null: no box
};

TEST_F(ConstructionTest, VersionCheckShowsTheMismatchBoxAndGoesOn) {
  const VersionCase cases[] = {
      {0x00030200, nullptr},
      {0xFF0302FF, nullptr},  // the low and top bytes are not part of the version
      {0x000302AB, nullptr},
      {0x00030300, "Xaudio DLL API Mismatch\rExpected 3,2\rGot 3,3"},
      {0x00040100, "Xaudio DLL API Mismatch\rExpected 3,2\rGot 4,1"},
      {0x00020200, "Xaudio DLL API Mismatch\rExpected 3,2\rGot 2,2"},
      {0x000312FF, "Xaudio DLL API Mismatch\rExpected 3,2\rGot 3,18"},
      {0x00000000, "Xaudio DLL API Mismatch\rExpected 3,2\rGot 0,0"},
  };
  for (const VersionCase& c : cases) {
    SCOPED_TRACE(c.version);
    fake_xaudio::Reset();
    dialogs_.boxes.clear();
    fake_xaudio::SetApiVersion(c.version);
    auto player = std::make_unique<TXaudioPlayer>(nullptr);

    const auto calls = fake_xaudio::Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].text, "xaudio_get_api_version(2)");
    EXPECT_EQ(calls[1].function, "player_new");  // construction goes on either way
    EXPECT_NE(fake_xaudio::CurrentPlayer(), nullptr);
    if (!c.expectedText) {
      EXPECT_TRUE(dialogs_.boxes.empty());
      continue;
    }
    ASSERT_EQ(dialogs_.boxes.size(), 1u);
    const auto& box = dialogs_.boxes[0];
    EXPECT_EQ(box.request.text, QString::fromLatin1(c.expectedText));
    EXPECT_EQ(box.request.caption, "Error");
    EXPECT_EQ(box.request.icon, dialogs::Icon::Error);
    EXPECT_EQ(box.request.buttons, dialogs::Buttons::Ok);
    EXPECT_EQ(box.callsBefore, 1u) << "the box comes between the version check and player_new";
  }
}

TEST_F(ConstructionTest, PlayerIsCreatedWithTheNotificationWindow) {
  QObject owner;
  auto* player = new TXaudioPlayer(&owner);
  EXPECT_EQ(player->parent(), &owner);
  EXPECT_TRUE(dialogs_.boxes.empty());

  const auto created = fake_xaudio::CallsOf("player_new");
  ASSERT_EQ(created.size(), 1u);
  ASSERT_EQ(created[0].pointers.size(), 2u);
  EXPECT_NE(created[0].pointers[0], nullptr);
  EXPECT_NE(created[0].pointers[1], nullptr);
  ASSERT_NE(player->WindowHandle(), 0u);
  EXPECT_EQ(created[0].ints, (std::vector<std::int64_t>{player->WindowHandle()}));
  EXPECT_EQ(fake_xaudio::CurrentWindow(), player->WindowHandle());

  // Every later call carries the handle that player_new wrote.
  player->Play();
  const auto commands = fake_xaudio::CommandCalls();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].player, fake_xaudio::CurrentPlayer());

  const std::uint32_t window = player->WindowHandle();
  const void* handle = fake_xaudio::CurrentPlayer();
  fake_xaudio::ClearCalls();
  // Destroying the component deletes the player and releases the window.
  delete player;
  const auto deleted = fake_xaudio::CallsOf("player_delete");
  ASSERT_EQ(deleted.size(), 1u);
  EXPECT_EQ(deleted[0].player, handle);
  EXPECT_EQ(platform_post_message(window, 1, 0, 0), 0) << "the window is released";
}

TEST_F(ConstructionTest, OwnerDestroysTheComponent) {
  auto owner = std::make_unique<QObject>();
  new TXaudioPlayer(owner.get());
  fake_xaudio::ClearCalls();
  owner.reset();
  EXPECT_EQ(fake_xaudio::CallsOf("player_delete").size(), 1u);
  EXPECT_EQ(fake_xaudio::CurrentPlayer(), nullptr);
}

TEST_F(ConstructionTest, FailedPlayerNewShowsItsBoxAndTheComponentStays) {
  fake_xaudio::SetPlayerNewResult(-2);
  auto player = std::make_unique<TXaudioPlayer>(nullptr);

  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  const auto& box = dialogs_.boxes[0];
  EXPECT_EQ(box.request.text, "Cannot Start Xaudio Player");
  EXPECT_EQ(box.request.caption, "Error");
  EXPECT_EQ(box.request.icon, dialogs::Icon::Error);
  EXPECT_EQ(box.request.buttons, dialogs::Buttons::Ok);
  EXPECT_EQ(box.callsBefore, 2u) << "after player_new";

  // The handle stays empty; commands still go to the library, which answers for itself.
  fake_xaudio::SetCommandResult(XA_ERROR_NO_PLAYER);
  EXPECT_EQ(player->Stop(), XA_ERROR_NO_PLAYER);
  const auto commands = fake_xaudio::CommandCalls();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].player, nullptr);

  player.reset();
  const auto deleted = fake_xaudio::CallsOf("player_delete");
  ASSERT_EQ(deleted.size(), 1u);
  EXPECT_EQ(deleted[0].player, nullptr);
}

TEST_F(ConstructionTest, PriorityAsksTheLibraryOnEveryRead) {
  TXaudioPlayer player(nullptr);
  fake_xaudio::SetPriorityValue(4);
  EXPECT_EQ(player.Priority(), 4u);
  EXPECT_EQ(player.Priority(), 4u);
  EXPECT_EQ(fake_xaudio::PriorityReads(), 2);

  fake_xaudio::ClearCalls();
  player.SetPriority(0xFFFFFFF0u);
  const auto calls = fake_xaudio::Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].function, "player_set_priority");
  EXPECT_EQ(calls[0].player, fake_xaudio::CurrentPlayer());
  EXPECT_EQ(calls[0].ints, (std::vector<std::int64_t>{0xFFFFFFF0ll}));

  // No copy is kept: a value that changed inside the library shows at once.
  fake_xaudio::SetPriorityValue(7);
  EXPECT_EQ(player.Priority(), 7u);
  EXPECT_EQ(fake_xaudio::PriorityReads(), 3);
}

TEST_F(ConstructionTest, ErrorStringCopiesTheLibraryText) {
  TXaudioPlayer player(nullptr);
  fake_xaudio::SetErrorText(XA_ERROR_NO_SUCH_FILE, "file not found");
  fake_xaudio::SetErrorText(-100, std::nullopt);
  fake_xaudio::SetErrorText(-101, "Datei \xC3\xA9");
  fake_xaudio::ClearCalls();

  EXPECT_EQ(player.ErrorString(XA_ERROR_NO_SUCH_FILE), "file not found");
  EXPECT_EQ(player.ErrorString(-100), "");
  EXPECT_EQ(player.ErrorString(-101), QString::fromUtf8("Datei \xC3\xA9"));

  const auto calls = fake_xaudio::Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].text, "xaudio_error_string(-4)");
  EXPECT_EQ(calls[0].player, nullptr);
}

}  // namespace
