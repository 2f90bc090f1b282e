// The message service of the command line: every box becomes text on
// standard error (a carriage return inside a message is a line break);
// questions are asked on the terminal, answered by --yes, or declined when
// there is nobody to ask.
#pragma once

#include <cstdio>
#include <string>

#include "support/MessageService.h"

namespace bw::cli {

class TerminalMessageService : public MessageService {
 public:
  TerminalMessageService(bool assumeYes, std::FILE* in = stdin, std::FILE* out = stderr);
  MsgResult Show(const std::string& text, int style, const std::string& caption) override;

  // How many questions were declined for lack of --yes on a non-terminal.
  int Unanswered() const { return m_Unanswered; }

 private:
  MsgResult AskAbortRetryIgnore(const std::string& shown);

  bool m_AssumeYes;
  std::FILE* m_In;
  std::FILE* m_Out;
  int m_Unanswered = 0;
};

// Asks for a secret on the terminal without echoing it (the prompt goes to
// `out`). False when `in` is not a terminal or the input ended.
bool ReadSecret(const std::string& prompt, std::string& secret, std::FILE* in = stdin,
                std::FILE* out = stderr);

// Line breaks as a terminal wants them: CR LF and lone CR become LF.
std::string TerminalText(const std::string& text);

}  // namespace bw::cli
