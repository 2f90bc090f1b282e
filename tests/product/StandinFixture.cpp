#include "StandinFixture.h"

#include "support/ConnectionString.h"

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

}  // namespace bw::testing
