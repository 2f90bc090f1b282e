#include "service/ControlProtocol.h"

namespace standin::service {

std::string_view ControlErrorText(ControlError error) {
  switch (error) {
    case ControlError::kAccessDenied:
      return "Access is denied.";
    case ControlError::kNotSupported:
      return "The request is not supported.";
    case ControlError::kInvalidParameter:
      return "The parameter is incorrect.";
    case ControlError::kBusy:
      return "The requested resource is in use.";
    case ControlError::kServiceRequestTimeout:
      return "The service did not respond to the start or control request in a timely fashion.";
    case ControlError::kServiceAlreadyRunning:
      return "An instance of the service is already running.";
    case ControlError::kServiceDoesNotExist:
      return "The specified service does not exist as an installed service.";
    case ControlError::kServiceCannotAcceptControl:
      return "The service cannot accept control messages at this time.";
    case ControlError::kServiceNotActive:
      return "The service has not been started.";
    case ControlError::kLogonFailure:
      return "Logon failure: unknown user name or bad password.";
    case ControlError::kInternalError:
      return "An internal error occurred.";
  }
  return "An internal error occurred.";
}

std::string ErrorLine(ControlError error) {
  return "ERR " + std::to_string(static_cast<int>(error)) + " " +
         std::string(ControlErrorText(error));
}

std::string EncodeArgument(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  if (value.empty()) return "-";
  std::string out;
  out.reserve(value.size());
  for (unsigned char c : value) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '.' || c == '_' || c == '~' || c == '\\';
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> DecodeArgument(std::string_view word) {
  if (word == "-") return std::string();
  std::string out;
  out.reserve(word.size());
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (word[i] != '%') {
      out.push_back(word[i]);
      continue;
    }
    if (word.size() - i < 3) return std::nullopt;
    int high = HexDigit(word[i + 1]);
    int low = HexDigit(word[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return out;
}

std::vector<std::string_view> SplitWords(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

}  // namespace standin::service
