#include "Log.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>

namespace standin::app {
namespace {

std::mutex& LogMutex() {
  static std::mutex mutex;
  return mutex;
}

std::function<void(const std::string&)>& Capture() {
  static std::function<void(const std::string&)> capture;
  return capture;
}

void AppendHex(std::string& out, const char* prefix, int digits, unsigned value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += prefix;
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xF];
}

}  // namespace

std::string EscapeControlCharacters(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7F) {
      AppendHex(out, "\\x", 2, byte);
    } else if (byte == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      // U+0080..U+009F: NEL among them ends a line for some log readers.
      AppendHex(out, "\\u", 4, static_cast<unsigned char>(text[++i]));
    } else {
      out += text[i];
    }
  }
  return out;
}

void CaptureLog(std::function<void(const std::string&)> capture) {
  std::lock_guard lock(LogMutex());
  Capture() = std::move(capture);
}

void LogLine(std::string_view text) {
  auto now = std::chrono::system_clock::now();
  std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &utc);
  // Escaping the whole line covers every value in it: user names from LOGIN7,
  // statement texts, file names and error texts alike.
  std::string escaped = EscapeControlCharacters(text);
  std::lock_guard lock(LogMutex());
  if (Capture()) {
    Capture()(escaped);
    return;
  }
  std::string line = std::string(stamp) + "." + std::to_string(1000 + milliseconds).substr(1) +
                     "Z sqlstandin: " + escaped + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace standin::app
