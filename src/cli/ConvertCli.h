// "bwctl archive convert": the conversion of an archive to the current
// database version, or with --script the T-SQL it would send.
#pragma once

#include <cstdio>

#include "archives/Database.h"
#include "archives/Progress.h"

namespace bw::cli {

// Shows the progress on `out`: a bar redrawn in place when `out` is a
// terminal, otherwise one line per change of the value.
class TerminalProgress : public Progress {
 public:
  explicit TerminalProgress(std::FILE* out);
  ~TerminalProgress() override;
  void SetTask(const std::string& line) override;
  void SetDescription(const std::string&) override {}
  void SetMaximum(int maximum) override;
  void SetValue(int value) override;
  // Ends a bar's line, so that later text starts on a new one.
  void Finish();

 private:
  std::FILE* m_Out;
  bool m_Terminal;
  bool m_BarShown = false;
  int m_Maximum = 100;
  int m_Value = -1;
};

// Prints the version, then converts (after the version range's question and
// the role test) and prints the version after it; with `scriptOnly` prints
// the statements for the archive's version instead and sends nothing.
int ConvertArchiveCommand(Database& archive, bool scriptOnly);

}  // namespace bw::cli
