#include "dialogs/archives/frmProgress.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "commands/ConversionCommands.h"
#include "support/Error.h"
#include "support/MessageService.h"

namespace bw {

frmProgress::frmProgress(QWidget* parent)
    : QDialog(parent),
      m_lblArchiveName(new QLabel(this)),
      m_imgArchive(new QLabel(this)),
      m_lblDescription(new QLabel(this)),
      m_prgAction(new QProgressBar(this)) {
  setObjectName("frmProgress");
  setAccessibleName(QString::fromUtf8(kMessageCaption));
  setWindowTitle(QString::fromUtf8(kMessageCaption));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setModal(true);

  m_lblArchiveName->setObjectName("lblArchiveName");
  m_lblArchiveName->setAccessibleName("Task");
  m_lblArchiveName->setWordWrap(true);
  m_imgArchive->setObjectName("imgArchive");
  m_imgArchive->setAccessibleName("Archive");
  m_imgArchive->setPixmap(style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(32, 32));
  m_imgArchive->setFixedSize(40, 40);
  m_imgArchive->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  m_lblDescription->setObjectName("lblDescription");
  m_lblDescription->setAccessibleName("Description");
  m_prgAction->setObjectName("prgAction");
  m_prgAction->setAccessibleName("Progress");
  m_prgAction->setRange(0, 100);
  m_prgAction->setValue(0);

  // The dialog's texts in Tahoma where the font is there.
  if (QFontDatabase::families().contains("Tahoma")) {
    QFont tahoma("Tahoma");
    m_lblArchiveName->setFont(tahoma);
    m_lblDescription->setFont(tahoma);
  }

  auto* texts = new QVBoxLayout;
  texts->addWidget(m_lblArchiveName);
  texts->addWidget(m_lblDescription);
  texts->addStretch();
  auto* top = new QHBoxLayout;
  top->addWidget(m_imgArchive, 0, Qt::AlignTop);
  top->addLayout(texts, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(m_prgAction);
  setMinimumWidth(420);
}

void frmProgress::SetWork(std::function<void(Progress&)> work) {
  m_Work = std::move(work);
}

void frmProgress::SetConversion(Database& archive, int version) {
  SetWork([&archive, version](Progress& progress) {
    commands::ConvertArchiveFormat(archive, version, progress);
  });
}

void frmProgress::SetTask(const std::string& line) {
  m_lblArchiveName->setText(QString::fromStdString(line));
}

void frmProgress::SetDescription(const std::string& text) {
  m_lblDescription->setText(QString::fromStdString(text));
}

void frmProgress::SetMaximum(int maximum) {
  m_prgAction->setMaximum(maximum);
}

void frmProgress::SetValue(int value) {
  m_prgAction->setValue(value);
}

void frmProgress::Pump() {
  QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

void frmProgress::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Once: the work starts when the dialog is up and painted.
  if (!m_Started) {
    m_Started = true;
    QTimer::singleShot(0, this, &frmProgress::RunWork);
  }
}

void frmProgress::RunWork() {
  m_Running = true;
  try {
    if (m_Work) m_Work(*this);
  } catch (const Error& error) {
    MsgBox(error.Description(), MsgStyle::Critical);
  } catch (const std::exception& error) {
    // Nothing may reach the event loop.
    MsgBox(error.what(), MsgStyle::Critical);
  }
  m_Running = false;
  accept();
}

void frmProgress::reject() {
  if (!m_Running) QDialog::reject();
}

void frmProgress::closeEvent(QCloseEvent* event) {
  if (m_Running) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace bw
