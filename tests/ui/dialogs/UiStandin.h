// What the dialog tests share: a started sqlstandin with an extra drive D
// kept in a test folder, a configuration home of the test's own, scripted
// message boxes, the stand-in registered as a server, and helpers that
// drive modal dialogs and save screenshots.
#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "StandinProcess.h"
#include "data/DataAccess.h"
#include "servers/Servers.h"
#include "support/MessageService.h"

namespace bw::uitest {

class UiStandin {
 public:
  // Starts the stand-in with `extraArguments`; creates drive D's folder.
  explicit UiStandin(const std::vector<std::string>& extraArguments = {});
  ~UiStandin();

  standin::integration::StandinProcess& Process() { return *m_Process; }
  // "127.0.0.1,PORT".
  std::string DataSource() const;
  std::string RegistrationString(const std::string& login = "sa",
                                 const std::string& password = kSaPassword) const;
  static constexpr const char* kSaPassword = standin::integration::StandinProcess::kSaPassword;

  // The folder that is drive D on the server.
  const std::filesystem::path& DriveD() const { return m_DriveD; }
  // A file of `size` bytes below drive D ("Data/a.mdf").
  void MakeFile(const std::string& relative, std::size_t size = 16) const;

  // The registrations of this test's configuration home; the stand-in is
  // registered at first use.
  Servers& GetServers();
  Server& RegisteredServer();

  // A connection as sa to master, for preparing and checking.
  Connection& Admin();

  ScriptedMessageService& Messages() { return m_Messages; }
  // The texts of the boxes shown since the last call.
  std::vector<std::string> TakeMessages();

 private:
  std::unique_ptr<standin::integration::StandinProcess> m_Process;
  std::filesystem::path m_Home;
  std::filesystem::path m_DriveD;
  ScriptedMessageService m_Messages;
  std::unique_ptr<Servers> m_Servers;
  std::unique_ptr<Connection> m_Admin;
  std::size_t m_MessagesTaken = 0;
};

// Runs `act` on the next modal dialog of type T once it is shown (polling
// the event loop), while the caller's own modal call runs. Fails the test
// when none appears within a few seconds.
template <typename T>
void WhenModal(std::function<void(T*)> act);
void WhenModalWidget(std::function<bool(QWidget*)> matches, std::function<void(QWidget*)> act);

// The widget `name` below `root`, failing when absent.
template <typename T>
T* Child(QWidget* root, const char* name) {
  T* child = root->findChild<T*>(name);
  if (child == nullptr) throw std::runtime_error(std::string("no control ") + name);
  return child;
}

// Saves `widget` as BW_SCREENSHOT_DIR/<name>.png.
void SaveScreenshot(QWidget* widget, const QString& name);

template <typename T>
void WhenModal(std::function<void(T*)> act) {
  WhenModalWidget([](QWidget* widget) { return dynamic_cast<T*>(widget) != nullptr; },
                  [act](QWidget* widget) { act(dynamic_cast<T*>(widget)); });
}

}  // namespace bw::uitest
