// One sqlstandin per test suite, with the product's view of it: the OLE DB
// connection string a registration would store.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "StandinProcess.h"
#include "support/MessageService.h"

namespace bw::testing {

class StandinSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();

  static standin::integration::StandinProcess& Standin() { return *s_Standin; }
  // "127.0.0.1,PORT".
  static std::string DataSource();
  // The registration string for a SQL login (sa by default).
  static std::string RegistrationString(const std::string& login = "sa",
                                        const std::string& password = kSaPassword);
  static constexpr const char* kSaPassword = standin::integration::StandinProcess::kSaPassword;

  // A configuration home of the running test's own ("<prefix>-<pid>-<test>",
  // emptied first) as XDG_CONFIG_HOME, and `messages` answering every message
  // box; LeaveProfile undoes both.
  static std::filesystem::path EnterProfile(const std::string& prefix, MessageService* messages);
  static void LeaveProfile(const std::filesystem::path& home);

 private:
  static std::unique_ptr<standin::integration::StandinProcess> s_Standin;
};

}  // namespace bw::testing
