// frmProgress on the offscreen platform: any work reported on its controls,
// a conversion against a started sqlstandin (with a screenshot taken while it
// runs), and a conversion that stops.
#include <stdlib.h>
#include <unistd.h>

#include <QLabel>
#include <QProgressBar>
#include <QtTest>
#include <filesystem>

#include "OldArchive.h"
#include "StandinProcess.h"
#include "archives/Databases.h"
#include "data/ConnectionString.h"
#include "dialogs/archives/frmProgress.h"
#include "servers/Servers.h"
#include "support/MessageService.h"

namespace bw {

class FrmProgressTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    m_Home =
        std::filesystem::temp_directory_path() / ("bw-ui-progress-" + std::to_string(::getpid()));
    std::filesystem::remove_all(m_Home);
    ::setenv("XDG_CONFIG_HOME", m_Home.c_str(), 1);
    SetMessageService(&m_Messages);
    m_Standin.Start();
    m_Registration = "Provider=SQLOLEDB;" +
                     OleDbPair("Data Source", "127.0.0.1," + std::to_string(m_Standin.Port())) +
                     OleDbPair("User Id", "sa") +
                     OleDbPair("Password", standin::integration::StandinProcess::kSaPassword);
    testing::MakeOldArchive(m_Registration, "Ui154", 154, "1.54");
    testing::MakeOldArchive(m_Registration, "Ui135", 141, "1.35");
    Servers servers;
    QVERIFY(servers.Add(m_Registration) != nullptr);
    std::filesystem::create_directories(BW_SCREENSHOT_DIR);
  }

  void cleanupTestCase() {
    SetMessageService(nullptr);
    std::filesystem::remove_all(m_Home);
  }

  void showsAnyWorkAndCannotBeClosedWhileItRuns() {
    frmProgress dialog;
    bool visibleWhileRunning = false;
    dialog.SetWork([&](Progress& progress) {
      progress.SetTask("Counting the documents of 'Sales'.");
      progress.SetDescription("12 of 40");
      progress.SetMaximum(40);
      progress.SetValue(12);
      progress.Pump();
      dialog.reject();
      dialog.close();
      progress.Pump();
      visibleWhileRunning = dialog.isVisible() && dialog.Running();
      auto* task = dialog.findChild<QLabel*>("lblArchiveName");
      auto* description = dialog.findChild<QLabel*>("lblDescription");
      auto* bar = dialog.findChild<QProgressBar*>("prgAction");
      QVERIFY(task && description && bar && dialog.findChild<QLabel*>("imgArchive"));
      QCOMPARE(task->text(), QString("Counting the documents of 'Sales'."));
      QCOMPARE(description->text(), QString("12 of 40"));
      QCOMPARE(bar->maximum(), 40);
      QCOMPARE(bar->value(), 12);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY(visibleWhileRunning);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.windowTitle(), QString("Brindlewick Server Manager"));
  }

  void convertsAnArchiveAndClosesAtTheEnd() {
    Servers servers;
    Database* archive = Find(servers, "Ui154");
    QVERIFY(archive != nullptr);
    frmProgress dialog;
    dialog.SetConversion(*archive, 154);
    auto* bar = dialog.findChild<QProgressBar*>("prgAction");
    QString task, description;
    bool shot = false;
    connect(bar, &QProgressBar::valueChanged, &dialog, [&](int value) {
      if (value != 40 || shot) return;
      shot = true;
      task = dialog.findChild<QLabel*>("lblArchiveName")->text();
      description = dialog.findChild<QLabel*>("lblDescription")->text();
      QVERIFY(dialog.grab().save(QString(BW_SCREENSHOT_DIR) + "/frmProgress-conversion.png"));
    });
    dialog.exec();
    QVERIFY(shot);
    QCOMPARE(task, QString("Updating the archive 'Ui154'."));
    QCOMPARE(description, QString::fromUtf8("Please wait…"));
    QCOMPARE(bar->value(), 100);
    QCOMPARE(QString::fromStdString(archive->GetExtendedValue(0, 3, 1, "")), QString("1.61"));
    QVERIFY(m_Messages.History().empty());
  }

  void aConversionThatStopsIsReportedAndTheDialogCloses() {
    Servers servers;
    Database* archive = Find(servers, "Ui135");
    QVERIFY(archive != nullptr);
    frmProgress dialog;
    dialog.SetConversion(*archive, 135);
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(m_Messages.History().size(), std::size_t(1));
    const auto& shown = m_Messages.History().back();
    QVERIFY(shown.text.find("could not be converted: block A") != std::string::npos);
    QCOMPARE(shown.style, MsgStyle::Critical);
    QCOMPARE(QString::fromStdString(archive->GetExtendedValue(0, 3, 1, "")), QString("1.35"));
  }

 private:
  static Database* Find(Servers& servers, const std::string& name) {
    for (Database* archive : servers.Item(1)->Databases().NewEnum()) {
      if (archive->Name() == name) return archive;
    }
    return nullptr;
  }

  std::filesystem::path m_Home;
  ScriptedMessageService m_Messages;
  standin::integration::StandinProcess m_Standin;
  std::string m_Registration;
};

}  // namespace bw

QTEST_MAIN(bw::FrmProgressTest)
#include "frm_progress_test.moc"
