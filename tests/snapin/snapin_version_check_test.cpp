// The archive version check as the console runs it: armed by the control bar,
// fired by the host's timer, its questions through the message service and
// the work through the progress dialog.
#include <gtest/gtest.h>

#include "SnapInFixture.h"
#include "archives/Database.h"
#include "commands/VersionCheck.h"
#include "support/Placeholders.h"
#include "support/StringTable.h"

namespace bw::testing {
namespace {

using Names = std::vector<std::string>;

class SnapInVersionCheck : public SnapInSuite {
 protected:
  void SetVersion(Database& archive, const std::string& version) {
    archive.GetConnection().Execute("UPDATE ExtendedData SET FieldValue = '" + version +
                                    "' WHERE EntryID = 0 AND ExtFieldID = 3");
  }
  std::vector<std::string> TextsSince(std::size_t first) const {
    std::vector<std::string> texts;
    const auto& history = m_Messages.History();
    for (std::size_t i = first; i < history.size(); ++i) texts.push_back(history[i].text);
    return texts;
  }
  void FireTheCheck(HeadlessConsole& console) {
    ASSERT_EQ(console.Timers().size(), 1u);
    EXPECT_EQ(console.Timers().begin()->second.first, 3000);
    console.Fire(console.Timers().begin()->first);
    EXPECT_TRUE(console.Timers().empty());
  }
};

TEST_F(SnapInVersionCheck, AsksForEachOlderArchiveOncePerArmingAndRunsTheChosenWork) {
  ASSERT_NE(Register(), nullptr);
  // Checked first; its version cannot be read, which must not keep the
  // others from being asked about.
  Database* broken = CreateArchive("Broken");
  ASSERT_NE(broken, nullptr);
  SetVersion(*broken, "not a version");
  Database* older = CreateArchive("Older");
  Database* plain = CreateArchive("Plain");
  ASSERT_NE(CreateArchive("Current"), nullptr);
  ASSERT_TRUE(older != nullptr && plain != nullptr);
  SetVersion(*older, "1.55");
  SetVersion(*plain, "1.50");
  // As release 1.50 left it: its text not generated yet.
  plain->GetConnection().Execute("DELETE FROM ExtendedData WHERE EntryID = 0 AND ExtFieldID = 10");
  // As bwconsole starts: the server group is never expanded, yet every
  // server's archives are checked.
  HeadlessConsole& console = OpenConsole(false);

  std::size_t first = m_Messages.History().size();
  m_Messages.QueueAnswer(MsgResult::Yes);  // convert Older
  m_Messages.QueueAnswer(MsgResult::No);   // leave Plain's format
  m_Messages.QueueAnswer(MsgResult::Yes);  // but generate its plain text
  FireTheCheck(console);
  EXPECT_EQ(m_Dialogs.shown, (Names{"frmProgress 2 155", "frmProgress 1 0"}));
  EXPECT_EQ(TextsSince(first), (Names{commands::ConversionPrompt("Older", 155),
                                      commands::ConversionPrompt("Plain", 150),
                                      FormatResString(316, {Variant("Plain")})}));
  EXPECT_EQ(m_Messages.History().back().style, MsgStyle::YesNo | MsgStyle::Question);

  // Nothing more until the control bar arms the timer again; declined
  // archives are asked again then.
  m_Dialogs.shown.clear();
  first = m_Messages.History().size();
  console.SnapIn().ViewsSetControlbar();
  m_Messages.QueueAnswer(MsgResult::No);
  m_Messages.QueueAnswer(MsgResult::No);
  m_Messages.QueueAnswer(MsgResult::No);
  FireTheCheck(console);
  EXPECT_TRUE(m_Dialogs.shown.empty());
  EXPECT_EQ(TextsSince(first).size(), 3u) << ::testing::PrintToString(TextsSince(first));
}

}  // namespace
}  // namespace bw::testing
