#include "Terminal.h"

#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <string>

namespace bw::cli {

std::string TerminalText(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out.push_back('\n');
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

bool ReadSecret(const std::string& prompt, std::string& secret, std::FILE* in, std::FILE* out) {
  const int fd = ::fileno(in);
  if (!::isatty(fd)) return false;
  termios saved{};
  if (::tcgetattr(fd, &saved) != 0) return false;
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  quiet.c_lflag |= ECHONL;
  std::fprintf(out, "%s", prompt.c_str());
  std::fflush(out);
  ::tcsetattr(fd, TCSAFLUSH, &quiet);
  std::string line;
  int c = 0;
  while ((c = std::fgetc(in)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
  ::tcsetattr(fd, TCSAFLUSH, &saved);
  if (c == EOF && line.empty()) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  secret = std::move(line);
  return true;
}

TerminalMessageService::TerminalMessageService(bool assumeYes, std::FILE* in, std::FILE* out)
    : m_AssumeYes(assumeYes), m_In(in), m_Out(out) {}

MsgResult TerminalMessageService::Show(const std::string& text, int style, const std::string&) {
  std::string shown = TerminalText(text);
  int buttons = style & MsgStyle::ButtonMask;
  if (buttons == MsgStyle::AbortRetryIgnore) return AskAbortRetryIgnore(shown);
  bool question = buttons == MsgStyle::YesNo || buttons == MsgStyle::YesNoCancel ||
                  buttons == MsgStyle::OkCancel;
  if (!question) {
    std::fprintf(m_Out, "%s\n", shown.c_str());
    return MsgResult::Ok;
  }
  MsgResult yes = buttons == MsgStyle::OkCancel ? MsgResult::Ok : MsgResult::Yes;
  MsgResult no = buttons == MsgStyle::OkCancel ? MsgResult::Cancel : MsgResult::No;
  if (m_AssumeYes) {
    std::fprintf(m_Out, "%s\n(answered yes: --yes)\n", shown.c_str());
    return yes;
  }
  if (!::isatty(::fileno(m_In))) {
    ++m_Unanswered;
    std::fprintf(m_Out, "%s\nNot confirmed: there is no terminal to ask; add --yes to confirm.\n",
                 shown.c_str());
    return no;
  }
  bool defaultYes = DefaultButton(style) == MsgResult::Yes || DefaultButton(style) == MsgResult::Ok;
  std::fprintf(m_Out, "%s\n%s ", shown.c_str(), defaultYes ? "[Y/n]" : "[y/N]");
  std::fflush(m_Out);
  char line[64] = {0};
  if (std::fgets(line, sizeof line, m_In) == nullptr) return no;
  char first = static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
  if (first == 'y') return yes;
  if (first == 'n') return no;
  return defaultYes ? yes : no;
}

// After a failure the safe answer is to stop: a later run goes on where this
// one ended. Only a person at a terminal chooses to retry or to go on.
MsgResult TerminalMessageService::AskAbortRetryIgnore(const std::string& shown) {
  if (!::isatty(::fileno(m_In))) {
    std::fprintf(m_Out, "%s\n(answered abort: there is no terminal to ask)\n", shown.c_str());
    return MsgResult::Abort;
  }
  std::fprintf(m_Out, "%s\n[A]bort, [r]etry, [i]gnore? ", shown.c_str());
  std::fflush(m_Out);
  char line[64] = {0};
  if (std::fgets(line, sizeof line, m_In) == nullptr) return MsgResult::Abort;
  char first = static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
  if (first == 'r') return MsgResult::Retry;
  if (first == 'i') return MsgResult::Ignore;
  return MsgResult::Abort;
}

}  // namespace bw::cli
