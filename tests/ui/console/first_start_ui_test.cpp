// A user's first start of the console registers the snap-in installed with
// it, so the desktop menu entry opens a working console; a user who
// unregistered it is not overruled; and the installed snap-in is looked for
// only where the install puts it.
#include <stdlib.h>

#include <QStatusBar>
#include <QtTest>
#include <filesystem>
#include <memory>
#include <string>

#include "ConsoleWindow.h"
#include "SnapInLibrary.h"
#include "SnapInRegistry.h"

namespace {

namespace fs = std::filesystem;
using bw::console::ConsoleWindow;

class FirstStartTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void FirstStartRegistersAndOpensTheInstalledSnapIn();
  void AnUnregisteredSnapInStaysUnregistered();
  void TheInstalledSnapInIsFoundOnlyWhereTheInstallPutsIt();

 private:
  fs::path m_Home;
};

void FirstStartTest::init() {
  m_Home = fs::temp_directory_path() / ("bw-first-start-" + std::to_string(::getpid()));
  fs::remove_all(m_Home);
  fs::create_directories(m_Home);
  ::setenv("XDG_CONFIG_HOME", m_Home.c_str(), 1);
  // Nothing listens there: the snap-in must not reach a stand-in of the machine.
  ::setenv("BW_SERVICE_CONTROL_PORT", "9", 1);
}

void FirstStartTest::cleanup() {
  fs::remove_all(m_Home);
}

void FirstStartTest::FirstStartRegistersAndOpensTheInstalledSnapIn() {
  std::string error;
  QVERIFY(!bw::console::SnapInEverRegistered(error));
  QVERIFY2(error.empty(), error.c_str());
  {
    ConsoleWindow window;
    window.LoadRegisteredSnapIns(BWADMIN_LIBRARY);
    QVERIFY(window.ScopeItemNamed("StaticNode") != nullptr);
  }
  auto registered = bw::console::RegisteredSnapIns(error);
  QCOMPARE(registered.size(), std::size_t{1});
  QCOMPARE(fs::path(registered[0].path), fs::canonical(BWADMIN_LIBRARY));
  // The next start finds it registered and does not register it twice.
  ConsoleWindow again;
  again.LoadRegisteredSnapIns(BWADMIN_LIBRARY);
  QVERIFY(again.ScopeItemNamed("StaticNode") != nullptr);
  QCOMPARE(bw::console::RegisteredSnapIns(error).size(), std::size_t{1});
}

void FirstStartTest::AnUnregisteredSnapInStaysUnregistered() {
  std::string error;
  auto library = bw::console::SnapInLibrary::Load(BWADMIN_LIBRARY, error);
  QVERIFY2(library != nullptr, error.c_str());
  QVERIFY2(library->Register(error), error.c_str());
  QVERIFY2(library->Unregister(error), error.c_str());
  library.reset();
  QVERIFY(bw::console::SnapInEverRegistered(error));

  ConsoleWindow window;
  window.LoadRegisteredSnapIns(BWADMIN_LIBRARY);
  QVERIFY(window.ScopeItemNamed("StaticNode") == nullptr);
  QVERIFY(bw::console::RegisteredSnapIns(error).empty());
  QVERIFY(window.statusBar()->currentMessage().startsWith("No snap-in is registered."));
}

void FirstStartTest::TheInstalledSnapInIsFoundOnlyWhereTheInstallPutsIt() {
  const fs::path root = m_Home / "install";
  const fs::path bin = root / "bin";
  fs::create_directories(bin);
  QCOMPARE(bw::console::InstalledSnapIn(bin), std::string());  // a console without its snap-in
  const fs::path installed = fs::weakly_canonical(bin / bw::console::InstalledSnapInRelativePath());
  QVERIFY(installed.string().starts_with(root.string() + "/"));
  fs::create_directories(installed.parent_path());
  fs::copy_file(BWADMIN_LIBRARY, installed);
  QCOMPARE(bw::console::InstalledSnapIn(bin), fs::canonical(installed).string());
  // A folder of that name is no library.
  fs::remove(installed);
  fs::create_directory(installed);
  QCOMPARE(bw::console::InstalledSnapIn(bin), std::string());
}

}  // namespace

QTEST_MAIN(FirstStartTest)
#include "first_start_ui_test.moc"
