#include "UiStandin.h"

#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <chrono>
#include <fstream>
#include <memory>

#include "data/ConnectionString.h"

namespace bw::uitest {

UiStandin::UiStandin(const std::vector<std::string>& extraArguments)
    : m_Process(std::make_unique<standin::integration::StandinProcess>()) {
  static int counter = 0;
  const std::string tag = std::to_string(::getpid()) + "-" + std::to_string(++counter);
  m_Home = std::filesystem::temp_directory_path() / ("bw-ui-home-" + tag);
  m_DriveD = std::filesystem::temp_directory_path() / ("bw-ui-drive-" + tag);
  std::filesystem::remove_all(m_Home);
  std::filesystem::remove_all(m_DriveD);
  std::filesystem::create_directories(m_DriveD);
  ::setenv("XDG_CONFIG_HOME", m_Home.c_str(), 1);
  SetMessageService(&m_Messages);
  std::vector<std::string> arguments = {"--drive", "D=" + m_DriveD.string()};
  arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
  m_Process->Start(arguments);
}

UiStandin::~UiStandin() {
  m_Admin.reset();
  m_Servers.reset();
  m_Process.reset();
  SetMessageService(nullptr);
  std::error_code ignored;
  std::filesystem::remove_all(m_Home, ignored);
  std::filesystem::remove_all(m_DriveD, ignored);
}

std::string UiStandin::DataSource() const {
  return "127.0.0.1," + std::to_string(m_Process->Port());
}

std::string UiStandin::RegistrationString(const std::string& login,
                                          const std::string& password) const {
  return "Provider=SQLOLEDB;" + OleDbPair("Data Source", DataSource()) +
         OleDbPair("User Id", login) + OleDbPair("Password", password);
}

void UiStandin::MakeFile(const std::string& relative, std::size_t size) const {
  const std::filesystem::path path = m_DriveD / relative;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << std::string(size, 'x');
}

Servers& UiStandin::GetServers() {
  if (!m_Servers) m_Servers = std::make_unique<Servers>();
  return *m_Servers;
}

Server& UiStandin::RegisteredServer() {
  Servers& servers = GetServers();
  if (servers.Count() == 0) {
    std::string text = RegistrationString();
    if (servers.Add(text) == nullptr) throw std::runtime_error("the stand-in did not connect");
  }
  return *servers.Item(1L);
}

Connection& UiStandin::Admin() {
  if (!m_Admin) {
    m_Admin = std::make_unique<Connection>();
    m_Admin->SetConnectionString(RegistrationString());
    m_Admin->Open();
  }
  return *m_Admin;
}

std::vector<std::string> UiStandin::TakeMessages() {
  std::vector<std::string> texts;
  const auto& history = m_Messages.History();
  for (; m_MessagesTaken < history.size(); ++m_MessagesTaken) {
    texts.push_back(history[m_MessagesTaken].text);
  }
  return texts;
}

void WhenModalWidget(std::function<bool(QWidget*)> matches, std::function<void(QWidget*)> act) {
  auto deadline = std::make_shared<std::chrono::steady_clock::time_point>(
      std::chrono::steady_clock::now() + std::chrono::seconds(10));
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [matches, act, deadline, poll] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && matches(modal) && modal->isVisible()) {
      act(modal);
      *poll = nullptr;  // ends the cycle poll → lambda → poll
      return;
    }
    if (std::chrono::steady_clock::now() > *deadline) {
      qWarning("no matching modal dialog appeared");
      if (modal != nullptr) modal->close();
      *poll = nullptr;
      return;
    }
    QTimer::singleShot(20, *poll);
  };
  QTimer::singleShot(0, *poll);
}

void SaveScreenshot(QWidget* widget, const QString& name) {
  QDir().mkpath(BW_SCREENSHOT_DIR);
  widget->grab().save(QString(BW_SCREENSHOT_DIR) + "/" + name + ".png");
}

}  // namespace bw::uitest
