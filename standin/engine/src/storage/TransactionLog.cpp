// The .LDF journal: header page, appended WAL frames, truncation and shrink.
#include "storage/TransactionLog.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace standin::engine {

std::string LogPathBeside(const std::string& dataFile) {
  const std::size_t slash = dataFile.find_last_of("\\/");
  const std::size_t stemStart = slash == std::string::npos ? 0 : slash + 1;
  std::size_t stemEnd = dataFile.rfind('.');
  if (stemEnd == std::string::npos || stemEnd < stemStart) stemEnd = dataFile.size();
  return dataFile.substr(0, stemEnd) + "_log.LDF";
}

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMagic = "sqlstandin-log 1\n";
constexpr std::string_view kActiveEnd = "active-end=";
constexpr char kRecordTag[4] = {'S', 'L', 'R', '1'};
// SQLite's default: fold the write-ahead log into the file at 1000 frames.
constexpr int kCheckpointFrames = 1000;
constexpr std::int64_t kWalHeaderBytes = 32;
constexpr std::int64_t kWalFrameHeaderBytes = 24;

std::mutex& LogMutex() {
  static std::mutex mutex;
  return mutex;
}

// Per write-ahead log file: the frames already copied and the salt of the
// WAL generation they belong to (SQLite restarts the WAL with a new salt).
struct WalPosition {
  std::int64_t frames = 0;
  std::array<char, 8> salt{};
};

std::map<std::string, WalPosition>& WalPositions() {
  static std::map<std::string, WalPosition> positions;
  return positions;
}

std::int64_t FileSize(const fs::path& path) {
  std::error_code error;
  const auto size = fs::file_size(path, error);
  return error ? 0 : static_cast<std::int64_t>(size);
}

std::string HeaderPage(std::int64_t activeEnd) {
  std::string page(kMagic);
  page += kActiveEnd;
  page += std::to_string(activeEnd);
  page += '\n';
  page.resize(kLogPageBytes, '\0');
  return page;
}

// The active end recorded in the header, or nullopt for a file without one.
std::optional<std::int64_t> ReadActiveEnd(const fs::path& ldf) {
  std::ifstream in(ldf, std::ios::binary);
  if (!in) return std::nullopt;
  std::string head(256, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  if (head.rfind(kMagic, 0) != 0) return std::nullopt;
  const std::size_t at = head.find(kActiveEnd, kMagic.size());
  if (at == std::string::npos) return std::nullopt;
  const char* begin = head.data() + at + kActiveEnd.size();
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(begin, head.data() + head.size(), value);
  if (error != std::errc() || value < kLogPageBytes) return std::nullopt;
  return value;
}

void WriteHeader(std::fstream& file, std::int64_t activeEnd) {
  const std::string page = HeaderPage(activeEnd);
  file.seekp(0);
  file.write(page.data(), static_cast<std::streamsize>(page.size()));
}

// Appends one record at the active end; the caller holds the log mutex.
void AppendRecord(const fs::path& ldf, const std::string& payload) {
  const std::int64_t activeEnd = ReadActiveEnd(ldf).value_or(kLogPageBytes);
  std::fstream file(ldf, std::ios::binary | std::ios::in | std::ios::out);
  if (!file) return;
  // A file shorter than its header (an old marker) is padded by the header.
  if (!ReadActiveEnd(ldf)) WriteHeader(file, kLogPageBytes);
  char header[8];
  std::memcpy(header, kRecordTag, 4);
  const auto length = static_cast<std::uint32_t>(payload.size());
  for (int i = 0; i < 4; ++i) header[4 + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  file.seekp(activeEnd);
  file.write(header, sizeof header);
  file.write(payload.data(), static_cast<std::streamsize>(payload.size()));
  WriteHeader(file, activeEnd + static_cast<std::int64_t>(sizeof header + payload.size()));
}

std::uint32_t BigEndian32(const char* bytes) {
  return (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[0])) << 24) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[1])) << 16) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2])) << 8) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[3]));
}

// Copies the frames a commit added to the write-ahead log into the .LDF.
void CopyNewFrames(const std::string& dataFile, int frames) {
  const fs::path ldf = LogPathBeside(dataFile);
  std::error_code error;
  if (!fs::is_regular_file(ldf, error)) return;
  std::ifstream wal(dataFile + "-wal", std::ios::binary);
  char header[kWalHeaderBytes];
  if (!wal.read(header, sizeof header)) return;
  const std::int64_t pageSize = BigEndian32(header + 8) == 1 ? 65536 : BigEndian32(header + 8);
  std::array<char, 8> salt{};
  std::memcpy(salt.data(), header + 16, salt.size());
  std::lock_guard lock(LogMutex());
  WalPosition& position = WalPositions()[dataFile];
  std::int64_t first = position.frames;
  if (position.salt != salt || first > frames) first = 0;
  position.salt = salt;
  position.frames = frames;
  if (first >= frames || pageSize <= 0) return;
  const std::int64_t frameBytes = kWalFrameHeaderBytes + pageSize;
  std::string payload(static_cast<std::size_t>((frames - first) * frameBytes), '\0');
  wal.seekg(kWalHeaderBytes + first * frameBytes);
  wal.read(payload.data(), static_cast<std::streamsize>(payload.size()));
  payload.resize(static_cast<std::size_t>(wal.gcount()));
  if (!payload.empty()) AppendRecord(ldf, payload);
}

int WalHook(void*, sqlite3* db, const char* schema, int frames) {
  const char* file = sqlite3_db_filename(db, schema);
  // The data is committed whatever happens here: a log copy that cannot be
  // written leaves the .LDF behind, never the data.
  try {
    if (file && *file) CopyNewFrames(file, frames);
  } catch (...) {
  }
  if (frames >= kCheckpointFrames)
    sqlite3_wal_checkpoint_v2(db, schema, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
  return SQLITE_OK;
}

}  // namespace

void CreateLogFile(const fs::path& ldf) {
  std::lock_guard lock(LogMutex());
  std::ofstream file(ldf, std::ios::binary | std::ios::trunc);
  const std::string page = HeaderPage(kLogPageBytes);
  file.write(page.data(), static_cast<std::streamsize>(page.size()));
}

LogState ReadLogState(const fs::path& ldf) {
  std::lock_guard lock(LogMutex());
  LogState state;
  state.fileBytes = FileSize(ldf);
  state.activeEnd = std::min(state.fileBytes, ReadActiveEnd(ldf).value_or(state.fileBytes));
  return state;
}

void TruncateLog(const fs::path& ldf) {
  std::lock_guard lock(LogMutex());
  std::fstream file(ldf, std::ios::binary | std::ios::in | std::ios::out);
  if (file) WriteHeader(file, kLogPageBytes);
}

std::int64_t ShrinkLog(const fs::path& ldf, std::int64_t targetBytes) {
  std::lock_guard lock(LogMutex());
  const std::int64_t size = FileSize(ldf);
  const std::int64_t activeEnd = ReadActiveEnd(ldf).value_or(size);
  std::int64_t wanted = std::max({targetBytes, activeEnd, kLogPageBytes});
  wanted = (wanted + kLogPageBytes - 1) / kLogPageBytes * kLogPageBytes;
  if (wanted >= size) return size;
  std::error_code error;
  fs::resize_file(ldf, static_cast<std::uintmax_t>(wanted), error);
  return error ? size : wanted;
}

void InstallLogHook(sqlite3* db) {
  sqlite3_wal_hook(db, &WalHook, nullptr);
}

}  // namespace standin::engine
