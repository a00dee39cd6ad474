// Destruction: player_delete first, then the window goes, and nothing the
// library posted before reaches the deleted player or a dead component.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

#include "platform/post_message.h"
#include "preview/XaudioPlayer.h"
#include "tests/fake_xaudio/FakeXaudio.h"
#include "tests/player/ScriptedDialogs.h"

namespace {

using fake_xaudio::Notification;

class LifetimeTest : public ::testing::Test {
 protected:
  void SetUp() override { fake_xaudio::Reset(); }
  ScriptedDialogs dialogs_;
};

// Calls recorded after the first call of `function`.
std::vector<fake_xaudio::Call> CallsAfter(const std::string& function) {
  const auto calls = fake_xaudio::Calls();
  std::vector<fake_xaudio::Call> after;
  bool seen = false;
  for (const auto& c : calls) {
    if (seen) after.push_back(c);
    if (c.function == function) seen = true;
  }
  return after;
}

TEST_F(LifetimeTest, PlayerIsDeletedBeforeTheWindowAndLateMessagesAreDropped) {
  int events = 0;
  auto player = std::make_unique<TXaudioPlayer>(nullptr);
  player->OnNotifyMessage = [&](QObject*, XA_Message&) { ++events; };
  player->OnNotifyPlayerState = [&](QObject*, std::int32_t) { ++events; };
  const XA_Player* handle = fake_xaudio::CurrentPlayer();
  const std::uint32_t window = player->WindowHandle();

  // Posted just before destruction, never delivered before it.
  ASSERT_TRUE(fake_xaudio::Post(Notification(XA_MSG_NOTIFY_PLAYER_STATE).Byte(4, 1)));
  fake_xaudio::ClearCalls();
  player.reset();

  const auto deleted = fake_xaudio::CallsOf("player_delete");
  ASSERT_EQ(deleted.size(), 1u);
  EXPECT_EQ(deleted[0].player, handle);
  // The fake posts a last notification from inside player_delete; the window took
  // it, so it was still there.
  EXPECT_EQ(deleted[0].ints, (std::vector<std::int64_t>{1}));
  EXPECT_EQ(platform_post_message(window, 1, 0, 0), 0) << "the window is released with the component";

  fake_xaudio::Deliver();
  QCoreApplication::processEvents();
  EXPECT_TRUE(fake_xaudio::CallsOf("control_win32_params_to_message").empty());
  EXPECT_EQ(events, 0);
}

TEST_F(LifetimeTest, ComponentDestroyedFromItsOwnEvent) {
  auto* player = new TXaudioPlayer(nullptr);
  const std::uint32_t window = player->WindowHandle();
  int states = 0;
  player->OnNotifyPlayerState = [&](QObject* sender, std::int32_t) {
    ++states;
    delete sender;
  };
  ASSERT_TRUE(fake_xaudio::Post(Notification(XA_MSG_NOTIFY_PLAYER_STATE).Byte(4, 3)));
  ASSERT_TRUE(fake_xaudio::Post(Notification(XA_MSG_NOTIFY_PLAYER_STATE).Byte(4, 0)));
  fake_xaudio::ClearCalls();
  fake_xaudio::Deliver();

  EXPECT_EQ(states, 1);
  EXPECT_EQ(fake_xaudio::CallsOf("player_delete").size(), 1u);
  EXPECT_TRUE(CallsAfter("player_delete").empty()) << "nothing reaches the deleted player";
  EXPECT_EQ(platform_post_message(window, 1, 0, 0), 0) << "the window is released once its delivery returned";
}

TEST_F(LifetimeTest, ComponentDestroyedFromTheRecordHandler) {
  auto* player = new TXaudioPlayer(nullptr);
  int positions = 0;
  player->OnNotifyMessage = [](QObject* sender, XA_Message&) { delete sender; };
  player->OnNotifyInputPosition = [&](QObject*, std::uint32_t, std::uint32_t) { ++positions; };
  ASSERT_TRUE(fake_xaudio::Post(Notification(XA_MSG_NOTIFY_INPUT_POSITION).U32(4, 1).U32(8, 2)));
  fake_xaudio::ClearCalls();
  fake_xaudio::Deliver();
  EXPECT_EQ(positions, 0);
  EXPECT_TRUE(CallsAfter("player_delete").empty());
}

TEST_F(LifetimeTest, TwoComponentsEachHearOnlyTheirOwnPlayer) {
  TXaudioPlayer first(nullptr);
  int firstStates = 0;
  first.OnNotifyPlayerState = [&](QObject*, std::int32_t) { ++firstStates; };
  auto second = std::make_unique<TXaudioPlayer>(nullptr);
  int secondStates = 0;
  second->OnNotifyPlayerState = [&](QObject*, std::int32_t) { ++secondStates; };
  EXPECT_NE(first.WindowHandle(), second->WindowHandle());

  ASSERT_TRUE(fake_xaudio::NotifyPlayerState(1));  // the latest player
  EXPECT_EQ(secondStates, 1);
  second.reset();
  ASSERT_TRUE(fake_xaudio::NotifyPlayerState(1));  // now the first one
  EXPECT_EQ(firstStates, 1);
  EXPECT_EQ(secondStates, 1);
}

}  // namespace
