// What long work on an archive (conversion, plain-text generation) reports
// while it runs. frmProgress shows it in the console, bwctl on a terminal,
// tests record it. The work calls these on its own thread, between steps.
#pragma once

#include <string>

namespace bw {

class Progress {
 public:
  virtual ~Progress() = default;
  // The task line: which archive is being worked on and how.
  virtual void SetTask(const std::string& line) = 0;
  // The line below it: "Please wait…" or a counter.
  virtual void SetDescription(const std::string& text) = 0;
  virtual void SetMaximum(int maximum) = 0;
  virtual void SetValue(int value) = 0;
  // Lets a window repaint and handle its events between two steps.
  virtual void Pump() {}
};

// Reports nowhere: for callers that want no progress.
class NoProgress : public Progress {
 public:
  void SetTask(const std::string&) override {}
  void SetDescription(const std::string&) override {}
  void SetMaximum(int) override {}
  void SetValue(int) override {}
};

}  // namespace bw
