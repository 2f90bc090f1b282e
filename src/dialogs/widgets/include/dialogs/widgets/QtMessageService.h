// The message service as Qt message boxes: the buttons, icon, default button
// and caption that the style asks for, over the active modal dialog.
#pragma once

#include "support/MessageService.h"

namespace bw {

class QtMessageService : public MessageService {
 public:
  // Shows the box modally and returns the button pressed. A box closed
  // without a button (Escape where the box has an escape button) answers as
  // that button.
  MsgResult Show(const std::string& text, int style, const std::string& caption) override;
};

}  // namespace bw
