// The server folder browser: picks a folder, or a file of one extension, on
// the disks of the machine a registered SQL Server runs on. The caller sets
// the server, FoldersOnly, FileExtension, the caption and the prompt, shows
// it modally and reads FolderBrowserResult() afterwards.
#pragma once

#include <QDialog>

#include <memory>
#include <string>

#include "commands/FolderBrowserModel.h"

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace bw {

class Server;

// The path chosen at the last OK (a folder ends in a backslash), empty after
// Cancel or OK without a choice; outlives the dialog.
std::string& FolderBrowserResult();

class frmFolderBrowser : public QDialog {
 public:
  explicit frmFolderBrowser(QWidget* parent = nullptr);
  ~frmFolderBrowser() override;

  void SetServer(Server* server);
  void SetFoldersOnly(bool foldersOnly);
  void SetFileExtension(const std::string& extension);
  QLabel* lblHeader() const { return m_lblHeader; }
  QTreeWidget* TreeView1() const { return m_TreeView1; }

  void reject() override;  // Cancel: the result becomes empty

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FillDrives();
  void Expand(QTreeWidgetItem* item);
  void cmdOK_Click();
  static void AddPlaceholder(QTreeWidgetItem* parent);
  QTreeWidgetItem* MakeNode(QTreeWidgetItem* reuse, QTreeWidgetItem* parent,
                            const commands::FolderNode& node);

  Server* m_Server = nullptr;
  std::unique_ptr<commands::FolderBrowserModel> m_Model;
  bool m_FoldersOnly = true;
  std::string m_FileExtension;
  bool m_Filled = false;
  QLabel* m_lblHeader;
  QTreeWidget* m_TreeView1;
  QPushButton* m_cmdOK;
  QPushButton* m_cmdCancel;
};

}  // namespace bw
