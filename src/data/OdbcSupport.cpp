#include "OdbcSupport.h"

namespace bw::odbc {

namespace {

// "[FreeTDS][SQL Server]Login failed…" → "Login failed…".
std::string WithoutPrefixes(std::string text) {
  while (!text.empty() && text[0] == '[') {
    std::size_t close = text.find(']');
    if (close == std::string::npos) break;
    text.erase(0, close + 1);
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

std::vector<ProviderMessage> Diagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
  return Diagnostics(&SQLGetDiagRec, handleType, handle);
}

std::vector<ProviderMessage> Diagnostics(GetDiagRecFunction getDiagRec, SQLSMALLINT handleType,
                                         SQLHANDLE handle) {
  std::vector<ProviderMessage> messages;
  if (handle == SQL_NULL_HANDLE) return messages;
  // A batch can carry many messages; a bound keeps a runaway driver in check.
  for (SQLSMALLINT record = 1; record <= 1000; ++record) {
    SQLCHAR state[6] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::vector<SQLCHAR> text(1024);
    SQLRETURN rc = getDiagRec(handleType, handle, record, state, &native, text.data(),
                              static_cast<SQLSMALLINT>(text.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
      text.resize(static_cast<std::size_t>(length) + 1);
      rc = getDiagRec(handleType, handle, record, state, &native, text.data(),
                      static_cast<SQLSMALLINT>(text.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) break;
    ProviderMessage message;
    message.serverNumber = native;
    message.sqlState = reinterpret_cast<const char*>(state);
    message.text = WithoutPrefixes(reinterpret_cast<const char*>(text.data()));
    messages.push_back(std::move(message));
  }
  return messages;
}

bool IsInformational(const ProviderMessage& message) {
  return message.sqlState.rfind("01", 0) == 0;
}

void Fail(std::int32_t number, SQLSMALLINT handleType, SQLHANDLE handle,
          const std::string& fallback) {
  std::vector<ProviderMessage> all = Diagnostics(handleType, handle);
  std::vector<ProviderMessage> errors;
  for (auto& m : all) {
    if (!IsInformational(m)) errors.push_back(std::move(m));
  }
  if (errors.empty()) errors.push_back({0, "HY000", fallback});
  throw DataError(number, std::move(errors));
}

std::int32_t ConnectErrorNumber(const std::vector<ProviderMessage>& messages) {
  for (const auto& m : messages) {
    if (m.sqlState == "28000" || m.serverNumber == 18456) return kAdoErrorLoginFailed;
  }
  return kAdoErrorGeneric;
}

}  // namespace bw::odbc
