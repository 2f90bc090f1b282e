#include "TextCli.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "ExitCodes.h"
#include "support/Error.h"
#include "support/Helpers.h"
#include "text/HtmlCleanup.h"
#include "text/MimeWebArchive.h"
#include "text/VisibleText.h"

namespace bw::cli {

const char kTextHelp[] =
    "Usage: bwctl text extract FILE... [--type html|mht|text] [--out-dir DIR]\n"
    "\n"
    "Prints the text that full-text search sees in each FILE: the visible text of an HTML\n"
    "page (cleaned as archived pages are), of a web archive saved by a browser as one MIME\n"
    "file (.mht, .mhtml: its page, in the page's charset), or a text file as it is.\n"
    "HTML and text files are read as UTF-8.\n"
    "\n"
    "Options:\n"
    "  --type TYPE     html, mht or text for every FILE (default: by extension: .htm, .html,\n"
    "                  .xhtml are html; .mht, .mhtml are mht; .txt is text)\n"
    "  --out-dir DIR   write DIR/NAME.txt for each FILE (NAME: its name without extension)\n"
    "                  instead of printing; DIR is created when missing\n"
    "\n"
    "With several FILEs on standard output each text follows a line \"==> FILE <==\".\n"
    "Exit codes: 0 done, 1 a file could not be read, 2 usage.\n";

namespace {

// Saved web archives hold their images too; larger files are not pages.
constexpr std::uintmax_t kMaxFileBytes = 256u << 20;

int Usage(const std::string& problem) {
  std::fprintf(stderr, "bwctl text: %s\n\n%s", problem.c_str(), kTextHelp);
  return kExitUsage;
}

std::string TypeOf(const std::filesystem::path& file) {
  std::string extension = LowerAscii(file.extension().string());
  if (extension == ".htm" || extension == ".html" || extension == ".xhtml") return "html";
  if (extension == ".mht" || extension == ".mhtml") return "mht";
  if (extension == ".txt") return "text";
  return "";
}

std::string ReadFile(const std::filesystem::path& file) {
  std::error_code error;
  std::uintmax_t size = std::filesystem::file_size(file, error);
  if (error) throw Error(kObjectErrorBase + 1, "bwctl text", error.message());
  if (size > kMaxFileBytes) {
    throw Error(kObjectErrorBase + 2, "bwctl text", "larger than 256 MB, not read");
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) throw Error(kObjectErrorBase + 1, "bwctl text", "cannot be opened");
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string WithoutBom(std::string text) {
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  return text;
}

// The text of one file; notes on bounds go to standard error.
std::string Extract(const std::filesystem::path& file, const std::string& type) {
  std::string bytes = ReadFile(file);
  std::string html;
  if (type == "text") return WithoutBom(std::move(bytes));
  if (type == "mht") {
    MimeMainPart page = ReadMimeWebArchive(bytes);
    if (!page.isHtml) return page.text;
    html = std::move(page.text);
  } else {
    html = WithoutBom(std::move(bytes));
    CleanHtml(html);
  }
  VisibleTextResult result = ExtractVisibleText(html);
  if (!result.note.empty()) {
    std::fprintf(stderr, "bwctl text: %s: %s\n", file.string().c_str(), result.note.c_str());
  }
  return std::move(result.text);
}

}  // namespace

int RunTextCommand(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("missing command");
  if (args[0] != "extract") return Usage("unknown command " + args[0]);
  std::string forcedType;
  std::filesystem::path outDir;
  std::vector<std::filesystem::path> files;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--type" || args[i] == "--out-dir") {
      if (i + 1 >= args.size()) return Usage(args[i] + " needs a value");
      if (args[i] == "--type") {
        forcedType = args[i + 1];
      } else {
        outDir = args[i + 1];
      }
      ++i;
    } else {
      files.emplace_back(args[i]);
    }
  }
  if (files.empty()) return Usage("extract needs at least one FILE");
  if (!forcedType.empty() && forcedType != "html" && forcedType != "mht" && forcedType != "text") {
    return Usage("--type is html, mht or text");
  }
  std::set<std::string> outNames;
  for (const auto& file : files) {
    std::string type = forcedType.empty() ? TypeOf(file) : forcedType;
    if (type.empty()) {
      return Usage("cannot tell the type of " + file.string() + " by its extension; use --type");
    }
    // Two inputs with one base name would write one output twice.
    if (!outDir.empty() && !outNames.insert(file.stem().string()).second) {
      return Usage("two files would both be written to " + file.stem().string() + ".txt");
    }
  }
  if (!outDir.empty()) {
    std::error_code error;
    std::filesystem::create_directories(outDir, error);
    if (error) {
      std::fprintf(stderr, "bwctl text: %s: %s\n", outDir.string().c_str(),
                   error.message().c_str());
      return kExitFailed;
    }
  }
  int code = kExitOk;
  for (const auto& file : files) {
    std::string text;
    try {
      text = Extract(file, forcedType.empty() ? TypeOf(file) : forcedType);
    } catch (const Error& error) {
      std::fprintf(stderr, "bwctl text: %s: %s\n", file.string().c_str(),
                   error.Description().c_str());
      code = kExitFailed;
      continue;
    }
    if (!outDir.empty()) {
      std::filesystem::path out = outDir / (file.stem().string() + ".txt");
      std::ofstream stream(out, std::ios::binary | std::ios::trunc);
      stream << text;
      if (!stream) {
        std::fprintf(stderr, "bwctl text: %s: cannot be written\n", out.string().c_str());
        code = kExitFailed;
      }
      continue;
    }
    if (files.size() > 1) std::printf("==> %s <==\n", file.string().c_str());
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (!text.empty() && text.back() != '\n') std::fputc('\n', stdout);
  }
  return code;
}

}  // namespace bw::cli
