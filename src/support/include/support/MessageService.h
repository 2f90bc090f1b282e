// Message boxes as a service: product code asks through this interface and
// never knows whether a Qt dialog, a terminal prompt or a test script answers.
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace bw {

// Style bits, with the numbers of the platform's message-box styles so that
// a style reads the same as in the texts' original callers.
namespace MsgStyle {
inline constexpr int OkOnly = 0;
inline constexpr int OkCancel = 1;
inline constexpr int AbortRetryIgnore = 2;
inline constexpr int YesNoCancel = 3;
inline constexpr int YesNo = 4;
inline constexpr int Critical = 16;
inline constexpr int Question = 32;
inline constexpr int Exclamation = 48;
inline constexpr int Information = 64;
inline constexpr int DefaultButton2 = 256;
inline constexpr int ButtonMask = 7;
inline constexpr int IconMask = 112;
}  // namespace MsgStyle

enum class MsgResult { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

// The caption of nearly every message box.
inline constexpr char kMessageCaption[] = "Brindlewick Server Manager";
// The caption of the few that pass none: the component's title.
inline constexpr char kComponentTitle[] = "BWAdmin";

class MessageService {
 public:
  virtual ~MessageService() = default;
  // Shows `text` and returns the button chosen. Carriage returns and line
  // feeds in `text` are line breaks.
  virtual MsgResult Show(const std::string& text, int style, const std::string& caption) = 0;
};

// The service the product uses. Defaults to one that answers every box with
// its default button (the second for DefaultButton2) and remembers nothing;
// hosts install theirs at start-up.
MessageService& Messages();
void SetMessageService(MessageService* service);  // nullptr restores the default

// Shows a box with the fixed caption.
MsgResult MsgBox(const std::string& text, int style = MsgStyle::OkOnly,
                 const std::string& caption = kMessageCaption);

// A test twin: answers from a queue and records every box shown. A box shown
// with no answer queued is answered with its default button and recorded.
class ScriptedMessageService : public MessageService {
 public:
  struct Shown {
    std::string text;
    int style;
    std::string caption;
  };

  void QueueAnswer(MsgResult answer) { m_Answers.push_back(answer); }
  const std::vector<Shown>& History() const { return m_History; }
  MsgResult Show(const std::string& text, int style, const std::string& caption) override;

 private:
  std::deque<MsgResult> m_Answers;
  std::vector<Shown> m_History;
};

// The button a box of `style` chooses when the user just presses Enter.
MsgResult DefaultButton(int style);

}  // namespace bw
