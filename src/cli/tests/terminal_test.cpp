#include "Terminal.h"

#include <gtest/gtest.h>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

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

TEST(ReadSecret, ATerminalShowsThePromptButNotTheSecret) {
  int master = -1, slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  std::FILE* in = ::fdopen(slave, "r");
  Streams prompt("");
  // Typed once echo is off, as a person would after the prompt.
  std::thread typist([master] {
    termios mode{};
    for (int i = 0; i < 5000; ++i) {
      if (::tcgetattr(master, &mode) == 0 && (mode.c_lflag & ECHO) == 0) break;
      ::usleep(1000);
    }
    const std::string typed = "it's; secret\n";
    (void)!::write(master, typed.data(), typed.size());
  });
  std::string secret;
  const bool read = ReadSecret("Password: ", secret, in, prompt.out);
  typist.join();
  ASSERT_TRUE(read);
  EXPECT_EQ(secret, "it's; secret");
  EXPECT_EQ(prompt.Output(), "Password: ");
  char echoed[256] = {0};
  const ssize_t n = ::read(master, echoed, sizeof echoed - 1);
  EXPECT_EQ(std::string(echoed, n > 0 ? static_cast<std::size_t>(n) : 0u).find("secret"),
            std::string::npos);
  std::fclose(in);
  ::close(master);
}

TEST(ReadSecret, NoTerminalNoSecret) {
  Streams streams("typed\n");
  std::string secret = "kept";
  EXPECT_FALSE(ReadSecret("Password: ", secret, streams.in, streams.out));
  EXPECT_EQ(secret, "kept");
  EXPECT_EQ(streams.Output(), "");
}

}  // namespace
}  // namespace bw::cli
