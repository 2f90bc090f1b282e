// bwconsole: the console host. Opens every registered snap-in under the
// console root, or registers and unregisters a snap-in library.
#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <cstring>
#include <iostream>
#include <string>

#include "ConsoleWindow.h"
#include "SnapInLibrary.h"
#include "SnapInRegistry.h"

namespace {

constexpr char kUsage[] =
    "Usage: bwconsole                  open the registered snap-ins\n"
    "       bwconsole --register PATH   register the snap-in library at PATH for this user\n"
    "       bwconsole --unregister PATH remove that snap-in's registration\n"
    "       bwconsole --help            show this text\n"
    "       bwconsole --version         show the version\n"
    "Registrations live in the per-user hive under $XDG_CONFIG_HOME (default ~/.config).\n";

int Registration(const std::string& option, const std::string& path) {
  std::string error;
  auto library = bw::console::SnapInLibrary::Load(path, error);
  if (library && (option == "--register" ? library->Register(error) : library->Unregister(error))) {
    std::cout << "bwconsole: " << (option == "--register" ? "registered " : "unregistered ") << path
              << "\n";
    return 0;
  }
  std::cerr << "bwconsole: " << error << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2) {
    std::string option = argv[1];
    if (option == "--help" || option == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (option == "--version" && argc == 2) {
      std::cout << "bwconsole " << BW_VERSION << "\n";
      return 0;
    }
    if ((option == "--register" || option == "--unregister") && argc == 3) {
      return Registration(option, argv[2]);
    }
    std::cerr << "bwconsole: unknown arguments\n" << kUsage;
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("bwconsole");
  QApplication::setApplicationVersion(BW_VERSION);
  // Lets the desktop match the window to its menu entry and icon.
  QGuiApplication::setDesktopFileName("org.brindlewick.ServerManager");
  QApplication::setWindowIcon(
      QIcon::fromTheme("org.brindlewick.ServerManager", QIcon(":/icons/console-root.svg")));
  bw::console::ConsoleWindow window;
  window.show();
  window.LoadRegisteredSnapIns(
      bw::console::InstalledSnapIn(QCoreApplication::applicationDirPath().toStdString()));
  return QApplication::exec();
}
