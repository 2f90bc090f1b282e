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
  return Diagnostics(&SQLGetDiagRecW, handleType, handle);
}

std::vector<ProviderMessage> Diagnostics(GetDiagRecFunction getDiagRec, SQLSMALLINT handleType,
                                         SQLHANDLE handle) {
  std::vector<ProviderMessage> messages;
  if (handle == SQL_NULL_HANDLE) return messages;
  // A batch can carry many messages; a bound keeps a runaway driver in check.
  for (SQLSMALLINT record = 1; record <= 1000; ++record) {
    SQLWCHAR state[6] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::vector<SQLWCHAR> text(1024);
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
    message.sqlState = Utf8Text(state, 5);
    std::size_t count = 0;
    while (count < text.size() && text[count] != 0) ++count;
    message.text = WithoutPrefixes(Utf8Text(text.data(), count));
    messages.push_back(std::move(message));
  }
  return messages;
}

std::vector<SQLWCHAR> WideText(const std::string& utf8) {
  std::vector<SQLWCHAR> wide;
  wide.reserve(utf8.size() + 1);
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t size = utf8.size();
  for (std::size_t i = 0; i < size;) {
    char32_t c = bytes[i];
    std::size_t length = c < 0x80           ? 1
                         : (c >> 5) == 0x6  ? 2
                         : (c >> 4) == 0xE  ? 3
                         : (c >> 3) == 0x1E ? 4
                                            : 0;
    bool valid = length != 0 && i + length <= size;
    if (valid && length > 1) {
      c &= 0x7F >> length;
      for (std::size_t k = 1; k < length; ++k) {
        if ((bytes[i + k] & 0xC0) != 0x80) valid = false;
        c = (c << 6) | (bytes[i + k] & 0x3F);
      }
      // Overlong forms, surrogates and values past U+10FFFF are not text.
      static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
      if (c < kLeast[length] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) valid = false;
    }
    if (!valid) {
      wide.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      wide.push_back(static_cast<SQLWCHAR>(0xD800 + (c >> 10)));
      wide.push_back(static_cast<SQLWCHAR>(0xDC00 + (c & 0x3FF)));
    } else {
      wide.push_back(static_cast<SQLWCHAR>(c));
    }
    i += length;
  }
  wide.push_back(0);
  return wide;
}

std::string Utf8Text(const SQLWCHAR* wide, std::size_t count) {
  std::string text;
  text.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    char32_t c = wide[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      text.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      text.push_back(static_cast<char>(0xC0 | (c >> 6)));
      text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      text.push_back(static_cast<char>(0xE0 | (c >> 12)));
      text.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      text.push_back(static_cast<char>(0xF0 | (c >> 18)));
      text.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      text.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return text;
}

bool ConnectionLost(SQLHDBC dbc) {
  if (dbc == SQL_NULL_HDBC) return false;
  SQLUINTEGER dead = SQL_CD_FALSE;
  return SQL_SUCCEEDED(SQLGetConnectAttr(dbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
         dead == SQL_CD_TRUE;
}

void NameLostConnection(std::vector<ProviderMessage>& messages) {
  // The driver says "Unknown error" or nothing at all here.
  static const char kLost[] =
      "The connection to the server was lost: the server stopped or the network failed.";
  if (!messages.empty() && messages.front().text == kLost) return;
  messages.insert(messages.begin(), {0, "08S01", kLost});
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
