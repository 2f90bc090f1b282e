// The small modal dialog that long archive work runs in: the conversion of an
// archive's database version, the plain-text generation, or any function that
// reports on a Progress. The work starts once the dialog is on screen and the
// dialog closes when it returns; while it runs, Pump keeps the window painted
// and the dialog cannot be closed.
//
// One thread: the GUI thread, which the work runs on.
#pragma once

#include <QDialog>
#include <functional>

#include "archives/Database.h"
#include "archives/Progress.h"

class QLabel;
class QProgressBar;

namespace bw {

class frmProgress : public QDialog, public Progress {
  Q_OBJECT

 public:
  explicit frmProgress(QWidget* parent = nullptr);

  // The work to run. An Error it raises is shown through the message service.
  void SetWork(std::function<void(Progress&)> work);
  // The conversion of `archive` from version number `version`; a chain that
  // stops is reported (ConvertArchiveFormat).
  void SetConversion(Database& archive, int version);
  bool Running() const { return m_Running; }

  void SetTask(const std::string& line) override;
  void SetDescription(const std::string& text) override;
  void SetMaximum(int maximum) override;
  void SetValue(int value) override;
  void Pump() override;

 public slots:
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void RunWork();

  QLabel* m_lblArchiveName;
  QLabel* m_imgArchive;
  QLabel* m_lblDescription;
  QProgressBar* m_prgAction;
  std::function<void(Progress&)> m_Work;
  bool m_Running = false;
  bool m_Started = false;
};

}  // namespace bw
