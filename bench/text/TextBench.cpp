// HTML to text over a corpus of real HTML files (by default the HTML that
// Debian packages install under /usr/share/doc): the engine in process,
// cleaned as stored pages are, against `w3m -dump` run over the same files
// in the same run, when w3m is installed. Prints MB/s of HTML for each.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "text/HtmlCleanup.h"
#include "text/VisibleText.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Corpus {
  std::vector<std::filesystem::path> paths;
  std::vector<std::string> files;
  std::size_t bytes = 0;
};

Corpus Collect(const std::vector<std::string>& roots) {
  Corpus corpus;
  for (const auto& root : roots) {
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator
             it(root, std::filesystem::directory_options::skip_permission_denied, error),
         end;
         it != end; it.increment(error)) {
      if (error) break;
      std::string extension = it->path().extension().string();
      if ((extension != ".html" && extension != ".htm") || !it->is_regular_file(error)) continue;
      std::ifstream in(it->path(), std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      corpus.bytes += bytes.size();
      corpus.paths.push_back(it->path());
      corpus.files.push_back(std::move(bytes));
    }
  }
  return corpus;
}

double Seconds(Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> roots(argv + 1, argv + argc);
  if (roots.empty()) roots.push_back("/usr/share/doc");
  Corpus corpus = Collect(roots);
  if (corpus.files.empty()) {
    std::fprintf(stderr, "no .html or .htm files found\n");
    return 1;
  }
  double megabytes = static_cast<double>(corpus.bytes) / 1e6;
  std::printf("corpus: %zu files, %.1f MB\n", corpus.files.size(), megabytes);

  // Best of three rounds: the machine is shared.
  double best = 1e30;
  std::size_t textBytes = 0;
  for (int round = 0; round < 3; ++round) {
    auto started = Clock::now();
    textBytes = 0;
    for (const std::string& file : corpus.files) {
      std::string html = file;
      bw::CleanHtml(html);
      textBytes += bw::ExtractVisibleText(html).text.size();
    }
    best = std::min(best, Seconds(Clock::now() - started));
  }
  double engine = megabytes / best;
  std::printf("engine (clean-up + visible text): %.3f s, %.1f MB/s, %zu bytes of text\n", best,
              engine, textBytes);

  if (std::system("command -v w3m >/dev/null 2>&1") != 0) {
    std::printf("w3m: not installed, no comparison\n");
    return 0;
  }
  auto started = Clock::now();
  for (const auto& path : corpus.paths) {
    std::string command = "w3m -dump -T text/html '" + path.string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) == -1) return 1;
  }
  double w3m = megabytes / Seconds(Clock::now() - started);
  std::printf("w3m -dump: %.1f MB/s; engine / w3m = %.1f\n", w3m, engine / w3m);
  return 0;
}
