#include "archives/WebArchiveExport.h"

#include <fstream>
#include <system_error>
#include <vector>

#include "data/DataAccess.h"
#include "support/CodePage.h"
#include "support/Helpers.h"
#include "support/Log.h"

namespace bw {
namespace {

constexpr int kTypeText = 90;
constexpr int kTypeHtml = 100;
constexpr int kTypeHtmlFrame = 500;
constexpr int kTypeTextBinary = 120;
constexpr int kTypeOtherText = 130;
constexpr std::int64_t kSmallFileSize = 300000;
// Stored links deeper than any saved page nests.
constexpr int kMaxNesting = 32;
// Longest file name the file system takes.
constexpr std::size_t kMaxNameBytes = 255;

struct StoredDocument {
  std::int32_t entryID = 0;
  std::string url;
  int typeID = 0;
  int codePage = 0;
  std::int64_t fileSize = 0;
  std::string content;
  std::vector<std::uint8_t> binaryContent;
  std::string fileName;
  bool binaryData = false;
  std::int64_t subDocsCount = 0;
};

std::vector<StoredDocument> DocWithSub(Connection& connection, std::int32_t entryID) {
  Recordset rs;
  rs.SetCursorLocation(adUseClient);
  rs.Open("EXEC DocWithSub @EntryID = " + std::to_string(entryID), &connection, adOpenStatic,
          adLockReadOnly);
  std::vector<StoredDocument> rows;
  for (; !rs.Eof(); rs.MoveNext()) {
    StoredDocument row;
    row.entryID = static_cast<std::int32_t>(rs.Value("EntryID").ToInteger());
    row.url = rs.Value("Url").ToText();
    row.typeID = static_cast<int>(rs.Value("TypeID").ToInteger());
    row.codePage = static_cast<int>(rs.Value("CodePage").ToInteger());
    row.fileSize = rs.Value("FileSize").ToInteger();
    row.content = rs.Value("Content").ToText();
    if (const auto* bytes = rs.Value("BinaryContent").Bytes()) row.binaryContent = *bytes;
    row.fileName = rs.Value("Filename").ToText();
    row.binaryData = rs.Value("BinaryData").ToBoolean();
    row.subDocsCount = rs.Value("SubDocsCount").ToInteger();
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string BytesAsString(const std::vector<std::uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::filesystem::path& path, const std::string& text, int codePage) {
  if (!WriteTextFileInCodePage(path.string(), text, EffectiveCodePage(codePage))) {
    Log("plaintext", "could not write " + path.string());
  }
}

// Position just behind the first `what` (any case), or npos.
std::size_t FindBehind(const std::string& text, const std::string& what) {
  std::string lower = LowerAscii(text);
  std::size_t at = lower.find(what);
  return at == std::string::npos ? at : at + what.size();
}

std::string InsertMarker(std::string text, const std::string& marker) {
  std::size_t at = FindBehind(text, "head>");
  if (at == std::string::npos) at = FindBehind(text, "html>");
  if (at != std::string::npos) text.insert(at, marker);
  return text;
}

// The sub-document's marker goes in front of every "<body", or when there
// is none behind every "</title>".
std::string InsertSubMarker(const std::string& text, const std::string& marker) {
  std::string lower = LowerAscii(text);
  bool beforeBody = lower.find("<body") != std::string::npos;
  const std::string anchor = beforeBody ? "<body" : "</title>";
  std::string out;
  std::size_t from = 0;
  for (std::size_t at = lower.find(anchor); at != std::string::npos;
       at = lower.find(anchor, at + anchor.size())) {
    std::size_t cut = beforeBody ? at : at + anchor.size();
    out.append(text, from, cut - from);
    out += marker;
    from = cut;
  }
  out.append(text, from, std::string::npos);
  return out;
}

}  // namespace

int EffectiveCodePage(int codePage) {
  return codePage == 0 ? GetAnsiCodePage() : codePage;
}

void WriteFileAPI_A(const std::filesystem::path& fileName, const std::uint8_t* bytes,
                    std::size_t length) {
  if (length == 0) return;
  std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
  if (out) out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(length));
  if (!out) Log("plaintext", "could not write " + fileName.string());
}

WebArchiveExport::WebArchiveExport(Connection& connection, std::int32_t archiveID,
                                   std::filesystem::path folder)
    : m_Connection(connection), m_ArchiveID(archiveID), m_Folder(std::move(folder)) {}

std::string WebArchiveExport::Marker(std::int32_t archiveID, std::int32_t entryID) {
  return "<!-- brindlewick archiveid=\"" + std::to_string(archiveID) + "\" entryid=\"" +
         std::to_string(entryID) + "\" -->";
}

std::string WebArchiveExport::LocalFileName(std::int32_t entryID, const std::string& fileName,
                                            int documentCodePage) {
  std::string name = std::to_string(entryID) + "_bwDoc_" + fileName;
  int ansi = GetAnsiCodePage();
  bool forbidWindowsCharacters = false;
  if (EffectiveCodePage(documentCodePage) != ansi) {
    std::vector<std::uint8_t> bytes = TextToCodePageBytes(name, ansi);
    std::string inAnsi = CodePageBytesToText(BytesAsString(bytes), ansi);
    if (inAnsi != name) {
      name = inAnsi;
      forbidWindowsCharacters = true;
    }
  }
  for (char& c : name) {
    auto byte = static_cast<unsigned char>(c);
    bool windowsForbidden = std::string_view("\\/:*?<>|\"").find(c) != std::string_view::npos;
    if (c == '/' || c == '\\' || byte < 0x20 || (forbidWindowsCharacters && windowsForbidden)) {
      c = '_';
    }
  }
  if (name.size() > kMaxNameBytes) {
    std::size_t cut = kMaxNameBytes;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  return name;
}

ExportedMain WebArchiveExport::Export(std::int32_t entryID) {
  return ExportDocument(entryID, false, 0);
}

ExportedMain WebArchiveExport::ExportDocument(std::int32_t entryID, bool nested, int depth) {
  ExportedMain result;
  if (depth > kMaxNesting || !m_Exported.insert(entryID).second) return result;
  std::vector<StoredDocument> rows = DocWithSub(m_Connection, entryID);
  if (rows.empty()) return result;
  if (!m_FolderReady) {
    std::error_code ignored;
    std::filesystem::remove_all(m_Folder, ignored);
    std::filesystem::create_directories(m_Folder);
    m_FolderReady = true;
  }
  const StoredDocument& main = rows.front();
  std::string name = LocalFileName(main.entryID, main.fileName, main.codePage);
  result.codePage = EffectiveCodePage(main.codePage);
  int type = main.typeID;
  bool textType = type == kTypeHtml || type == kTypeHtmlFrame || type == kTypeTextBinary;
  std::string text;
  if (main.binaryData && textType) {
    text = CodePageBytesToText(BytesAsString(main.binaryContent), result.codePage);
  } else if (main.binaryData && !textType && type != kTypeText && type != kTypeOtherText) {
    result.path = m_Folder / name;
    WriteFileAPI_A(result.path, main.binaryContent.data(), main.binaryContent.size());
    return result;
  } else if (!main.binaryData) {
    text = main.content;
  }

  if (!nested && (type == kTypeText || type == kTypeOtherText || type == kTypeTextBinary)) {
    if (main.fileSize < kSmallFileSize) name += ".txt";
    result.path = m_Folder / name;
    if (main.binaryData && type != kTypeTextBinary) {
      WriteFileAPI_A(result.path, main.binaryContent.data(), main.binaryContent.size());
    } else {
      WriteText(result.path, text, main.codePage);
    }
    return result;
  }

  if (type == kTypeHtml || type == kTypeHtmlFrame) {
    text = InsertMarker(std::move(text), Marker(m_ArchiveID, main.entryID));
  }
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const StoredDocument& sub = rows[i];
    std::string subName = LocalFileName(sub.entryID, sub.fileName, main.codePage);
    text = ReplaceText(text, sub.url, subName, 1, 2147483647, CompareMode::Text);
    std::filesystem::path subPath = m_Folder / subName;
    if (sub.subDocsCount != 0) {
      ExportDocument(sub.entryID, true, depth + 1);
    } else if (sub.typeID != kTypeHtml) {
      if (sub.binaryData) {
        WriteFileAPI_A(subPath, sub.binaryContent.data(), sub.binaryContent.size());
      } else {
        WriteText(subPath, sub.content, sub.codePage);
      }
    } else {
      std::string subText = sub.binaryData ? CodePageBytesToText(BytesAsString(sub.binaryContent),
                                                                 EffectiveCodePage(sub.codePage))
                                           : sub.content;
      WriteText(subPath, InsertSubMarker(subText, Marker(m_ArchiveID, sub.entryID)), sub.codePage);
    }
  }
  result.path = m_Folder / name;
  WriteText(result.path, text, main.codePage);
  return result;
}

}  // namespace bw
