// The Qt dialogs and message boxes as the services the product calls through.
// Qt-free, so the snap-in can install them without seeing Qt; a QApplication
// must exist before any dialog or box is shown.
#pragma once

#include <memory>

#include "commands/DialogService.h"
#include "support/MessageService.h"

namespace bw {

// Every dialog of the program. Also makes the network browsing's account
// picker the Qt one.
std::unique_ptr<DialogService> CreateQtDialogService();

// Message boxes with the style's buttons, icon, default button and caption.
std::unique_ptr<MessageService> CreateQtMessageService();

}  // namespace bw
