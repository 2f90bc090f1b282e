#include "StandinFixture.h"

#include <stdlib.h>
#include <unistd.h>

#include "data/ConnectionString.h"

namespace bw::testing {

std::unique_ptr<standin::integration::StandinProcess> StandinSuite::s_Standin;

void StandinSuite::SetUpTestSuite() {
  s_Standin = std::make_unique<standin::integration::StandinProcess>();
  s_Standin->Start();
}

void StandinSuite::TearDownTestSuite() {
  s_Standin.reset();
}

std::string StandinSuite::DataSource() {
  return "127.0.0.1," + std::to_string(s_Standin->Port());
}

std::string StandinSuite::RegistrationString(const std::string& login,
                                             const std::string& password) {
  return "Provider=SQLOLEDB;" + OleDbPair("Data Source", DataSource()) +
         OleDbPair("User Id", login) + OleDbPair("Password", password);
}

std::filesystem::path StandinSuite::EnterProfile(const std::string& prefix,
                                                 MessageService* messages) {
  const std::filesystem::path home =
      std::filesystem::temp_directory_path() /
      (prefix + "-" + std::to_string(::getpid()) + "-" +
       ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(home);
  ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
  SetMessageService(messages);
  return home;
}

void StandinSuite::LeaveProfile(const std::filesystem::path& home) {
  SetMessageService(nullptr);
  std::filesystem::remove_all(home);
}

}  // namespace bw::testing
