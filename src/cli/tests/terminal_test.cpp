#include "Terminal.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace bw::cli {
namespace {

// A FILE* over a string, for the service's input and output.
struct Streams {
  explicit Streams(const std::string& input) {
    in = ::fmemopen(const_cast<char*>(m_Input.assign(input).data()), m_Input.size() + 1, "r");
    out = ::open_memstream(&m_Buffer, &m_Size);
  }
  ~Streams() {
    std::fclose(in);
    std::fclose(out);
    std::free(m_Buffer);
  }
  std::string Output() {
    std::fflush(out);
    return std::string(m_Buffer, m_Size);
  }
  std::FILE* in;
  std::FILE* out;

 private:
  std::string m_Input;
  char* m_Buffer = nullptr;
  std::size_t m_Size = 0;
};

TEST(TerminalText, CarriageReturnsBecomeLineBreaks) {
  EXPECT_EQ(TerminalText("lead:\rdescription"), "lead:\ndescription");
  EXPECT_EQ(TerminalText("a\r\nb\nc"), "a\nb\nc");
}

TEST(TerminalMessages, QuestionsNeedYesWithoutATerminal) {
  Streams streams("y\n");  // a memory stream is no terminal: the "y" is never read
  TerminalMessageService service(false, streams.in, streams.out);
  EXPECT_EQ(service.Show("Delete?", MsgStyle::YesNo | MsgStyle::Question, "c"), MsgResult::No);
  EXPECT_EQ(service.Unanswered(), 1);
  EXPECT_NE(streams.Output().find("--yes"), std::string::npos);
}

TEST(TerminalMessages, AssumedYesAndPlainMessages) {
  Streams streams("");
  TerminalMessageService service(true, streams.in, streams.out);
  EXPECT_EQ(service.Show("Stop?", MsgStyle::YesNo | MsgStyle::DefaultButton2, "c"), MsgResult::Yes);
  EXPECT_EQ(service.Show("lead\rwhy", MsgStyle::Information, "c"), MsgResult::Ok);
  std::string output = streams.Output();
  EXPECT_NE(output.find("Stop?\n(answered yes"), std::string::npos);
  EXPECT_NE(output.find("lead\nwhy\n"), std::string::npos);
}

}  // namespace
}  // namespace bw::cli
