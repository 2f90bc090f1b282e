// The text of one document for full-text search: the methods of Database
// that derive it. The run over an archive is PlainTextRun.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "archives/Database.h"
#include "archives/WebArchiveExport.h"
#include "support/CodePage.h"
#include "support/Helpers.h"
#include "support/Log.h"
#include "text/HtmlCleanup.h"
#include "text/VisibleText.h"

namespace bw {
namespace {

constexpr std::int32_t kTypeText = 90;
constexpr std::int32_t kTypeHtml = 100;
constexpr std::int32_t kTypeHtmlFrame = 500;

std::string TextOf(const std::string& html, std::int32_t entryID) {
  VisibleTextResult result = ExtractVisibleText(html);
  if (!result.note.empty()) {
    Log("plaintext", "document " + std::to_string(entryID) + ": " + result.note);
  }
  return std::move(result.text);
}

bool IsWebArchiveName(const std::string& fileName) {
  return LowerAscii(fileName).rfind(".mht") != std::string::npos;
}

}  // namespace

bool Database::PlainTextFromContentAlone(std::int32_t docType, const std::string& fileName) {
  return (docType == kTypeHtml || docType == kTypeHtmlFrame) && !IsWebArchiveName(fileName);
}

std::string Database::CreatePlainText(std::int32_t entryID, const std::string& content,
                                      std::int32_t docType, const std::string& fileName) {
  if (docType == kTypeText) return content;
  if (docType == kTypeHtml || docType == kTypeHtmlFrame) {
    if (IsWebArchiveName(fileName)) return CreatePlainTextInIE(entryID);
    std::string html = content;
    return HTML2Text(html);
  }
  return std::string();
}

std::string Database::HTML2Text(std::string& sHTML) {
  CleanHtml(sHTML);
  return TextOf(sHTML, 0);
}

std::string Database::CreatePlainTextInIE(std::int32_t entryID) {
  std::filesystem::path folder = std::filesystem::temp_directory_path() / "bwCache" /
                                 (std::to_string(m_ArchiveID) + "_" + std::to_string(entryID));
  // The folder goes with everything in it, also when the export fails.
  struct RemoveFolder {
    const std::filesystem::path& folder;
    ~RemoveFolder() {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    }
  } removeFolder{folder};

  WebArchiveExport exporter(*m_Connection, m_ArchiveID, folder);
  ExportedMain main = exporter.Export(entryID);
  if (main.path.empty()) return std::string();
  std::ifstream in(main.path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string html = CodePageBytesToText(bytes, main.codePage);
  return TextOf(html, entryID);
}

}  // namespace bw
