#include "commands/security/ChangePassword.h"

#include <gtest/gtest.h>

#include "support/MessageService.h"
#include "support/StringTable.h"

namespace bw::commands::security {
namespace {

TEST(ChangePassword, LengthAndConfirmation) {
  ScriptedMessageService messages;
  SetMessageService(&messages);
  const std::string umlauts = [] {
    std::string text;
    for (int i = 0; i < 128; ++i) text += "\xC3\xA4";  // 128 characters, 256 bytes
    return text;
  }();
  struct Row {
    std::string password, confirmation;
    int messageId;  // 0: accepted
  } rows[] = {
      {"", "", 0},
      {std::string(128, 'x'), std::string(128, 'x'), 0},
      {umlauts, umlauts, 0},
      {std::string(129, 'x'), std::string(129, 'x'), 168},
      {umlauts + "x", "", 168},
      {"Secret", "secret", 167},
      {"Secret", "", 167},
  };
  for (const Row& row : rows) {
    const std::size_t before = messages.History().size();
    EXPECT_EQ(ChangePassword::Accept(row.password, row.confirmation), row.messageId == 0)
        << row.password.size();
    if (row.messageId == 0) {
      EXPECT_EQ(messages.History().size(), before);
    } else {
      ASSERT_EQ(messages.History().size(), before + 1);
      EXPECT_EQ(messages.History().back().text, LoadResString(row.messageId));
      EXPECT_EQ(messages.History().back().style, MsgStyle::Information);
    }
  }
  SetMessageService(nullptr);
}

}  // namespace
}  // namespace bw::commands::security
