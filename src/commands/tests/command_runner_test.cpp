#include "commands/CommandRunner.h"

#include <gtest/gtest.h>

#include "support/Error.h"
#include "support/StringTable.h"

namespace bw::commands {
namespace {

class CommandShape : public ::testing::Test {
 protected:
  void SetUp() override { SetMessageService(&m_Messages); }
  void TearDown() override { SetMessageService(nullptr); }
  ScriptedMessageService m_Messages;
};

TEST_F(CommandShape, AnyRoleSufficesAndIsTestedBeforeTheQuestion) {
  CommandSpec command;
  int tested = 0;
  command.roles = {[&] {
                     ++tested;
                     return false;
                   },
                   [&] {
                     ++tested;
                     return true;
                   },
                   [&] {
                     ++tested;
                     return true;
                   }};
  command.refusal = Text::Id(46, {"SRV"});
  command.confirmation = Text::Id(45, {"Main"});
  m_Messages.QueueAnswer(MsgResult::Yes);
  bool ran = false;
  EXPECT_EQ(RunCommand(command, [&] { return ran = true; }), Outcome::Done);
  EXPECT_TRUE(ran);
  EXPECT_EQ(tested, 2) << "stops at the first role held";
  ASSERT_EQ(m_Messages.History().size(), 1u);
  EXPECT_EQ(m_Messages.History()[0].caption, kMessageCaption);
}

TEST_F(CommandShape, RefusalShowsItsTextAndNeverAsks) {
  CommandSpec command;
  command.roles = {[] { return false; }};
  command.refusal = Text::Id(46, {"SRV1"});
  command.confirmation = Text::Id(45, {"Main"});
  bool ran = false;
  EXPECT_EQ(RunCommand(command, [&] { return ran = true; }), Outcome::Refused);
  EXPECT_FALSE(ran);
  ASSERT_EQ(m_Messages.History().size(), 1u);
  EXPECT_NE(m_Messages.History()[0].text.find("'SRV1'"), std::string::npos);
  EXPECT_EQ(m_Messages.History()[0].style, MsgStyle::Information);
}

TEST_F(CommandShape, AnythingButYesDeclines) {
  for (MsgResult answer : {MsgResult::No, MsgResult::Cancel, MsgResult::Ok}) {
    CommandSpec command;
    command.confirmation = Text::Id(45, {"Main"});
    command.confirmationStyle = MsgStyle::YesNo | MsgStyle::Exclamation | MsgStyle::DefaultButton2;
    m_Messages.QueueAnswer(answer);
    bool ran = false;
    EXPECT_EQ(RunCommand(command, [&] { return ran = true; }), Outcome::Declined);
    EXPECT_FALSE(ran);
  }
  EXPECT_EQ(m_Messages.History().back().style,
            MsgStyle::YesNo | MsgStyle::Exclamation | MsgStyle::DefaultButton2);
}

TEST_F(CommandShape, ErrorsAreReportedWithTheLeadText) {
  CommandSpec command;
  command.errorLead = Text::Id(47);
  command.errorStyle = MsgStyle::Critical;
  EXPECT_EQ(RunCommand(command, []() -> bool { throw Error(5, "x", "Permission denied"); }),
            Outcome::Error);
  ASSERT_EQ(m_Messages.History().size(), 1u);
  EXPECT_EQ(m_Messages.History()[0].text, LoadResString(47) + "\rPermission denied");
  EXPECT_EQ(m_Messages.History()[0].style, MsgStyle::Critical);

  // A failing role test is reported the same way.
  command.roles = {[]() -> bool { throw Error(1, "x", "connection lost"); }};
  EXPECT_EQ(RunCommand(command, [] { return true; }), Outcome::Error);
  EXPECT_EQ(m_Messages.History().back().text, LoadResString(47) + "\rconnection lost");
}

TEST_F(CommandShape, WithoutALeadErrorsGoToTheCaller) {
  CommandSpec command;
  EXPECT_THROW(RunCommand(command, []() -> bool { throw Error(1, "x", "y"); }), Error);
  EXPECT_TRUE(m_Messages.History().empty());
  EXPECT_EQ(RunCommand(command, [] { return false; }), Outcome::Failed);
}

}  // namespace
}  // namespace bw::commands
