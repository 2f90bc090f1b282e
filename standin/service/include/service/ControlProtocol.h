// Constants and argument coding of the service-control protocol "BWCTL/1"
// (described in README.md). The console's client and this server must agree
// on every value here.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin::service {

inline constexpr int kDefaultControlPort = 14330;
inline constexpr char kProtocolName[] = "BWCTL/1";
inline constexpr char kImplementationName[] = "sqlstandin";
inline constexpr char kServiceName[] = "MSSQLSERVER";

// Longest accepted line, not counting its LF. The client refuses longer
// answers, so the server never sends one either.
inline constexpr std::size_t kMaxLineBytes = 1024;

// Service states, as the service control manager numbers them.
inline constexpr int kStateStopped = 1;
inline constexpr int kStateStartPending = 2;
inline constexpr int kStateStopPending = 3;
inline constexpr int kStateRunning = 4;
inline constexpr int kStatePaused = 7;

// Windows system error numbers that the endpoint answers with; each with
// the text that Windows gives for it.
enum class ControlError {
  kAccessDenied = 5,
  kNotSupported = 50,
  kInvalidParameter = 87,
  kBusy = 170,
  kServiceRequestTimeout = 1053,
  kServiceAlreadyRunning = 1056,
  kServiceDoesNotExist = 1060,
  kServiceCannotAcceptControl = 1061,
  kServiceNotActive = 1062,
  kLogonFailure = 1326,
  kInternalError = 1359,
};

std::string_view ControlErrorText(ControlError error);
// "ERR <number> <text>"
std::string ErrorLine(ControlError error);

// Percent-encoding of one argument: everything but letters, digits and
// ". _ ~ \" becomes %XX; the empty text is a lone "-".
std::string EncodeArgument(std::string_view value);
// The inverse. Accepts any byte that needs no escape as itself and hex digits
// of either case; nullopt for a truncated or non-hex escape.
std::optional<std::string> DecodeArgument(std::string_view word);

// Splits a request line into words at runs of spaces and tabs.
std::vector<std::string_view> SplitWords(std::string_view line);

}  // namespace standin::service
