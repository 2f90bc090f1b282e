// The Open Server Archive dialog: attaches an archive's existing data file
// (and, optionally, its log file) on the server's disk under a typed name.
// The caller refreshes the server's archive list afterwards.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace bw {

class Databases;

class frmOpenArchive : public QDialog {
 public:
  explicit frmOpenArchive(Databases& catalogue, QWidget* parent = nullptr);

 private:
  void Browse(QLineEdit* target, int captionId, const char* extension);
  void cmdOK_Click();

  Databases& m_Catalogue;
  QLineEdit* m_txtDatabaseName;
  QLineEdit* m_txtMDFFilename;
  QLineEdit* m_txtLDFFilename;
  QPushButton* m_cmdSelectMDF;
  QPushButton* m_cmdSelectLDF;
  QPushButton* m_cmdOK;
  QPushButton* m_cmdCancel;
};

}  // namespace bw
