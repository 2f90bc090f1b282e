#include "support/MessageService.h"

namespace bw {

namespace {

class DefaultAnswerService : public MessageService {
 public:
  MsgResult Show(const std::string&, int style, const std::string&) override {
    return DefaultButton(style);
  }
};

DefaultAnswerService& Fallback() {
  static DefaultAnswerService fallback;
  return fallback;
}

MessageService*& Current() {
  static MessageService* current = &Fallback();
  return current;
}

}  // namespace

MsgResult DefaultButton(int style) {
  bool second = (style & MsgStyle::DefaultButton2) != 0;
  switch (style & MsgStyle::ButtonMask) {
    case MsgStyle::OkCancel:
      return second ? MsgResult::Cancel : MsgResult::Ok;
    case MsgStyle::AbortRetryIgnore:
      return second ? MsgResult::Retry : MsgResult::Abort;
    case MsgStyle::YesNoCancel:
    case MsgStyle::YesNo:
      return second ? MsgResult::No : MsgResult::Yes;
    default:
      return MsgResult::Ok;
  }
}

MessageService& Messages() {
  return *Current();
}

void SetMessageService(MessageService* service) {
  Current() = service != nullptr ? service : &Fallback();
}

MsgResult MsgBox(const std::string& text, int style, const std::string& caption) {
  return Messages().Show(text, style, caption);
}

MsgResult ScriptedMessageService::Show(const std::string& text, int style,
                                       const std::string& caption) {
  m_History.push_back({text, style, caption});
  if (m_Answers.empty()) return DefaultButton(style);
  MsgResult answer = m_Answers.front();
  m_Answers.pop_front();
  return answer;
}

}  // namespace bw
