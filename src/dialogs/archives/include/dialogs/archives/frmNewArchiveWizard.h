// The Create Archive wizard: four pages (welcome, archive name, archive
// file, result) over one server's catalogue. Checks report in a balloon
// beside the text box; only an error while creating shows a message box.
// The caller compares the catalogue's Count before and after.
#pragma once

#include <QDialog>

#include <string>

#include "dialogs/widgets/BalloonWait.h"
#include "dialogs/widgets/cTooltips.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace bw {

class Databases;

class frmNewArchiveWizard : public QDialog {
 public:
  explicit frmNewArchiveWizard(Databases& catalogue, QWidget* parent = nullptr);
  ~frmNewArchiveWizard() override;

  int CurrentPage() const { return m_Page; }
  // The balloon, for tests and screenshots.
  cTooltips& Tooltips() { return m_Tooltips; }
  bool BalloonWaiting() const { return m_tmrTooltipRemoveCheck->IsWaiting(); }

  void reject() override;  // Escape: Cancel, or Close on the result page

 private:
  void BuildPages();
  void ShowPage(int page);
  void ShowWarning(int titleId, int textId);
  void HideWarning();
  void cmdWeiter_Click();
  void cmdZur_ck_Click();
  void cmdAbbrechen_Click();
  void cmdDurchsuchenZielordner_Click();
  bool CheckName();
  void CreateArchive();
  void RestorePage3();
  QLineEdit* CurrentTextBox() const;

  Databases& m_Catalogue;
  int m_Page = 1;
  std::string m_ArchiveName;
  std::string m_ArchivePath;
  cTooltips m_Tooltips;
  BalloonWait* m_tmrTooltipRemoveCheck;

  QStackedWidget* m_Pages;
  QWidget* m_pic1;
  QWidget* m_pic2;
  QWidget* m_pic3;
  QLabel* m_imgBigPicture;
  QLabel* m_lblWillkommen;
  QLabel* m_Label10;
  QLabel* m_Label11;
  QLabel* m_Label19;
  QLabel* m_lblHeaderExplanation1;
  QLabel* m_Label20;
  QLineEdit* m_txtArchiveName;
  QLabel* m_lblDescriptionArchiveName;
  QLabel* m_Label6;
  QLabel* m_lblHeaderExplanation2;
  QLabel* m_Label7;
  QLabel* m_Label4;
  QLineEdit* m_txtArchivePath;
  QPushButton* m_cmdDurchsuchenZielordner;
  QPushButton* m_cmdZur_ck;
  QPushButton* m_cmdWeiter;
  QPushButton* m_cmdAbbrechen;
};

}  // namespace bw
