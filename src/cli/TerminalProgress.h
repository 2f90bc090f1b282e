// Progress of long archive work on the command line: a bar redrawn in place
// when standard error is a terminal, otherwise the task and the last line
// only (so logs of scripts stay short).
#pragma once

#include <cstdio>
#include <string>

#include "archives/Progress.h"

namespace bw::cli {

class TerminalProgress : public Progress {
 public:
  explicit TerminalProgress(std::FILE* out = stderr);
  ~TerminalProgress() override;
  void SetTask(const std::string& line) override;
  void SetDescription(const std::string& text) override;
  void SetMaximum(int maximum) override;
  void SetValue(int value) override;

 private:
  void Draw();

  std::FILE* m_Out;
  bool m_Terminal;
  int m_Maximum = 100;
  int m_Value = 0;
  std::string m_Description;
  bool m_Drawn = false;
};

}  // namespace bw::cli
