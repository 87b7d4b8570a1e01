#include "client/session/dialup_ops.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/fake_dialup.h"
#include "tests/support/scripted_ui.h"

namespace tarn {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

class DialUpOpsTest : public ::testing::Test {
 protected:
  testing::FakeDialUp dial_;
  testing::ScriptedUi ui_;
  AppState app_;
  DialUpOps ops_{dial_, ui_, app_};
};

TEST_F(DialUpOpsTest, ListsEntriesInServiceOrder) {
  dial_.AddEntry("Office", "jo", "pw");
  dial_.AddEntry("Home", "jo", "");
  EXPECT_THAT(ops_.ListEntries(), ElementsAre("Office", "Home"));
}

TEST_F(DialUpOpsTest, AlreadyConnectedEntryDialsNothing) {
  dial_.AddEntry("Office", "jo", "pw");
  dial_.AddConnection(5, "Office");
  EXPECT_TRUE(ops_.DialEntry("Office"));
  EXPECT_THAT(ui_.Boxes(), IsEmpty());
  EXPECT_THAT(dial_.Dialled(), IsEmpty());
}

TEST_F(DialUpOpsTest, AsksAboutEachOtherConnectionBeforeDialling) {
  dial_.AddEntry("Office", "jo", "pw");
  dial_.AddConnection(5, "Home");
  dial_.AddConnection(6, "Mobile");
  dial_.SetDialResult(platform::kDialUpOk, 9);
  ui_.AnswerBoxes({BoxResult::kYes, BoxResult::kNo});

  EXPECT_TRUE(ops_.DialEntry("Office"));

  auto boxes = ui_.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Would you like to disconnect from Home before connecting to\rOffice?");
  EXPECT_EQ(boxes[1].text,
            "Would you like to disconnect from Mobile before connecting to\rOffice?");
  for (const auto& b : boxes) {
    EXPECT_EQ(b.caption, "Active Dial-Up Connection Found");
    EXPECT_EQ(b.buttons, BoxButtons::kYesNo);
    EXPECT_EQ(b.icon, BoxIcon::kQuestion);
  }
  EXPECT_THAT(dial_.HungUp(), ElementsAre(5));
  ASSERT_EQ(dial_.Dialled().size(), 1u);
  EXPECT_EQ(dial_.Dialled()[0].entryName, "Office");
  EXPECT_EQ(dial_.Dialled()[0].password, "pw");
  EXPECT_THAT(ui_.StatusTexts(), ElementsAre(Pair(1, "Dialing Office")));
  EXPECT_THAT(ui_.Prompts(), IsEmpty());
}

TEST_F(DialUpOpsTest, MissingEntryIsReported) {
  EXPECT_FALSE(ops_.DialEntry("Old ISP"));
  auto boxes = ui_.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "Tarn could not find the 'Dial-up Networking' settings for\r'Old ISP'.\r\r"
            "While these settings existed when this FTP host session\rwas defined, they don't "
            "exist now (possibly because the\rconnection was renamed or deleted).  At this "
            "point, you\rwill need to access the Tarn settings for this FTP host\rand select a "
            "valid connection.");
  EXPECT_EQ(boxes[0].caption, "Dial-up Settings Not Found");
  EXPECT_EQ(boxes[0].buttons, BoxButtons::kOk);
  EXPECT_EQ(boxes[0].icon, BoxIcon::kWarning);
  EXPECT_THAT(dial_.Dialled(), IsEmpty());
}

TEST_F(DialUpOpsTest, OtherParameterErrorsFailSilently) {
  dial_.AddEntry("Office", "jo", "pw");
  dial_.SetDialParamsError(5);
  EXPECT_FALSE(ops_.DialEntry("Office"));
  EXPECT_THAT(ui_.Boxes(), IsEmpty());
  EXPECT_THAT(dial_.Dialled(), IsEmpty());
}

TEST_F(DialUpOpsTest, PromptsForAMissingPassword) {
  dial_.AddEntry("Office", "jo", "");
  ui_.AnswerDialUpPassword("typed");
  EXPECT_TRUE(ops_.DialEntry("Office"));
  auto prompts = ui_.Prompts();
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_EQ(prompts[0].kind, testing::RecordedPrompt::Kind::kDialUp);
  EXPECT_EQ(prompts[0].caption, "Office");
  EXPECT_EQ(prompts[0].label, "jo");
  ASSERT_EQ(dial_.Dialled().size(), 1u);
  EXPECT_EQ(dial_.Dialled()[0].userName, "jo");
  EXPECT_EQ(dial_.Dialled()[0].password, "typed");
}

TEST_F(DialUpOpsTest, CancelledPasswordPromptFailsTheDial) {
  dial_.AddEntry("Office", "jo", "");
  ui_.AnswerDialUpPassword(std::nullopt);
  EXPECT_FALSE(ops_.DialEntry("Office"));
  EXPECT_THAT(dial_.Dialled(), IsEmpty());
  EXPECT_THAT(ui_.StatusTexts(), IsEmpty());
}

TEST_F(DialUpOpsTest, FailedDialHangsUpTheHandleItGot) {
  dial_.AddEntry("Office", "jo", "pw");
  dial_.SetDialResult(678, 11);
  EXPECT_FALSE(ops_.DialEntry("Office"));
  EXPECT_THAT(dial_.HungUp(), ElementsAre(11));
  EXPECT_THAT(ui_.Boxes(), IsEmpty());

  dial_.SetDialResult(678, 0);
  EXPECT_FALSE(ops_.DialEntry("Office"));
  EXPECT_THAT(dial_.HungUp(), ElementsAre(11));
}

TEST_F(DialUpOpsTest, HangUpPollsUntilTheHandleIsGone) {
  dial_.AddConnection(3, "Office");
  dial_.SetPollsUntilGone(3, 4);
  ops_.HangUp(3);
  EXPECT_THAT(dial_.HungUp(), ElementsAre(3));
  EXPECT_EQ(dial_.StatusPolls(3), 5);  // four "still there", then invalid
}

TEST_F(DialUpOpsTest, OfferHangUpAsksPerConnection) {
  dial_.AddConnection(1, "Office");
  dial_.AddConnection(2, "Home");
  ui_.AnswerBoxes({BoxResult::kNo, BoxResult::kYes});
  ops_.OfferHangUp();
  EXPECT_THAT(ui_.BoxTexts(), ElementsAre("Would you like to disconnect from Office now?",
                                          "Would you like to disconnect from Home now?"));
  EXPECT_THAT(ui_.BoxCaptions(), ElementsAre("Tarn Host Disconnect", "Tarn Host Disconnect"));
  EXPECT_THAT(dial_.HungUp(), ElementsAre(2));
}

TEST_F(DialUpOpsTest, ConfirmDisconnectRasKeepsTheLineWithoutAsking) {
  app_.settings.cConfirmDisconnectRas.assign(1, 'X');  // not = "X": a false -Wrestrict of GCC 12
  dial_.AddConnection(1, "Office");
  ops_.OfferHangUp();
  EXPECT_THAT(ui_.Boxes(), IsEmpty());
  EXPECT_THAT(dial_.HungUp(), IsEmpty());
}

TEST(DialUpOpsNotInstalled, EverythingIsANoOpAndTheNetworkIsUsed) {
  auto none = platform::MakeNoDialUp();
  testing::ScriptedUi ui;
  AppState app;
  DialUpOps ops(*none, ui, app);
  EXPECT_FALSE(ops.Available());
  EXPECT_THAT(ops.ListEntries(), IsEmpty());
  EXPECT_TRUE(ops.DialEntry("Office"));
  ops.OfferHangUp();
  ops.HangUp(1);
  EXPECT_THAT(ui.Boxes(), IsEmpty());
  EXPECT_THAT(ui.StatusTexts(), IsEmpty());
}

}  // namespace
}  // namespace tarn
