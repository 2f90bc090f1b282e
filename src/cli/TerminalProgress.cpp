#include "TerminalProgress.h"

#include <unistd.h>

#include <algorithm>

#include "Terminal.h"

namespace bw::cli {

TerminalProgress::TerminalProgress(std::FILE* out)
    : m_Out(out), m_Terminal(::isatty(::fileno(out)) != 0) {}

TerminalProgress::~TerminalProgress() {
  if (m_Drawn) {
    std::fputc('\n', m_Out);
  } else if (!m_Terminal && !m_Description.empty()) {
    std::fprintf(m_Out, "%s\n", m_Description.c_str());
  }
}

void TerminalProgress::SetTask(const std::string& line) {
  std::fprintf(m_Out, "%s\n", TerminalText(line).c_str());
}

void TerminalProgress::SetDescription(const std::string& text) {
  m_Description = text;
  Draw();
}

void TerminalProgress::SetMaximum(int maximum) {
  m_Maximum = std::max(maximum, 1);
}

void TerminalProgress::SetValue(int value) {
  m_Value = std::clamp(value, 0, m_Maximum);
}

void TerminalProgress::Draw() {
  if (!m_Terminal) return;
  constexpr int kWidth = 30;
  int filled = m_Value * kWidth / m_Maximum;
  std::fprintf(m_Out, "\r[%s%s] %3d%% %s\x1b[K", std::string(filled, '#').c_str(),
               std::string(kWidth - filled, ' ').c_str(), m_Value * 100 / m_Maximum,
               m_Description.c_str());
  std::fflush(m_Out);
  m_Drawn = true;
}

}  // namespace bw::cli
