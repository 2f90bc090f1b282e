// HTML to text over a corpus of real HTML files (by default the HTML that
// Debian packages install under /usr/share/doc): the engine in process,
// cleaned as stored pages are, the HTML parser alone on the same bytes (the
// floor under the engine's time), and `w3m -dump` run over the same files in
// the same run, when w3m is installed. Prints MB/s of HTML for each, by the
// clock and by CPU time: on a shared machine the CPU figures move less.
//
// The digest covers every text and note the engine gave, so a change made
// for speed can be shown to leave the output as it was.
#include <fcntl.h>
#include <gumbo.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "text/HtmlCleanup.h"
#include "text/ParallelText.h"
#include "text/VisibleText.h"

extern char** environ;

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

// Wall-clock and CPU seconds of the best round (the machine is shared).
struct Timing {
  double wall = 1e30;
  double cpu = 1e30;
};

double ChildrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

template <typename Work>
void Measure(Timing& best, bool children, Work work) {
  auto wallStarted = Clock::now();
  double cpuStarted =
      children ? ChildrenCpuSeconds() : static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
  work();
  double cpu =
      (children ? ChildrenCpuSeconds() : static_cast<double>(std::clock()) / CLOCKS_PER_SEC) -
      cpuStarted;
  best.wall =
      std::min(best.wall, std::chrono::duration<double>(Clock::now() - wallStarted).count());
  best.cpu = std::min(best.cpu, cpu);
}

std::uint64_t Fnv1a(std::uint64_t hash, const std::string& bytes) {
  for (unsigned char c : bytes) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  hash ^= 0xFF;  // ends the field, so "ab"+"" and "a"+"b" differ
  return hash * 1099511628211ull;
}

// w3m run directly, without a shell in between, as a user would run it.
bool RunW3m(const std::filesystem::path& path) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string file = path.string();
  char* argv[] = {const_cast<char*>("w3m"),
                  const_cast<char*>("-dump"),
                  const_cast<char*>("-T"),
                  const_cast<char*>("text/html"),
                  file.data(),
                  nullptr};
  pid_t pid = 0;
  int failed = posix_spawnp(&pid, "w3m", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  return failed == 0 && waitpid(pid, &status, 0) == pid;
}

// w3m over the files with `width` processes running at once.
void RunW3mInParallel(const std::vector<std::filesystem::path>& paths, unsigned width) {
  std::atomic<std::size_t> next{0};
  std::vector<std::thread> pool;
  for (unsigned i = 0; i < width; ++i) {
    pool.emplace_back([&] {
      for (std::size_t j = next++; j < paths.size(); j = next++) {
        if (!RunW3m(paths[j])) std::fprintf(stderr, "w3m failed on %s\n", paths[j].c_str());
      }
    });
  }
  for (std::thread& thread : pool) thread.join();
}

void Print(const char* what, double megabytes, const Timing& timing) {
  std::printf("%-34s %6.3f s %6.1f MB/s   CPU %6.3f s %6.1f MB/s\n", what, timing.wall,
              megabytes / timing.wall, timing.cpu, megabytes / timing.cpu);
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
  bool withW3m = std::system("command -v w3m >/dev/null 2>&1") == 0;

  const unsigned threads = bw::DefaultTextThreads();

  // All are measured in turn in each round, so that they share whatever
  // else the machine is doing. CPU time of the threaded runs is the sum over
  // their threads, so only their clock figures say what they gain.
  Timing engine, threaded, parser, w3m, w3mWide;
  std::size_t textBytes = 0;
  std::uint64_t digest = 0;
  std::uint64_t threadedDigest = 0;
  for (int round = 0; round < 3; ++round) {
    Measure(threaded, false, [&] {
      auto texts = bw::ConvertInParallel(corpus.files.size(), [&](std::size_t i) {
        std::string html = corpus.files[i];
        bw::CleanHtml(html);
        bw::VisibleTextResult result = bw::ExtractVisibleText(html);
        return result.text + '\0' + result.note;
      });
      threadedDigest = 14695981039346656037ull;
      for (const auto& text : texts) {
        const std::size_t split = text.text.find('\0');
        threadedDigest =
            Fnv1a(Fnv1a(threadedDigest, text.text.substr(0, split)), text.text.substr(split + 1));
      }
    });
    Measure(engine, false, [&] {
      textBytes = 0;
      digest = 14695981039346656037ull;
      for (const std::string& file : corpus.files) {
        std::string html = file;
        bw::CleanHtml(html);
        bw::VisibleTextResult result = bw::ExtractVisibleText(html);
        textBytes += result.text.size();
        digest = Fnv1a(Fnv1a(digest, result.text), result.note);
      }
    });
    Measure(parser, false, [&] {
      GumboOptions options = kGumboDefaultOptions;
      options.max_errors = 0;
      for (const std::string& file : corpus.files) {
        gumbo_destroy_output(&options,
                             gumbo_parse_with_options(&options, file.data(), file.size()));
      }
    });
    if (withW3m) {
      Measure(w3m, true, [&] {
        for (const auto& path : corpus.paths) {
          if (!RunW3m(path)) std::fprintf(stderr, "w3m failed on %s\n", path.c_str());
        }
      });
      Measure(w3mWide, true, [&] { RunW3mInParallel(corpus.paths, threads); });
    }
  }
  Print("engine (clean-up + visible text)", megabytes, engine);
  std::printf("  %zu bytes of text, digest %016llx\n", textBytes,
              static_cast<unsigned long long>(digest));
  char label[64];
  std::snprintf(label, sizeof label, "engine on %u threads", threads);
  Print(label, megabytes, threaded);
  std::printf("  digest %016llx (%s)\n", static_cast<unsigned long long>(threadedDigest),
              threadedDigest == digest ? "the same texts" : "DIFFERENT TEXTS");
  Print("gumbo_parse alone (malloc, freed)", megabytes, parser);
  if (!withW3m) {
    std::printf("w3m: not installed, no comparison\n");
    return 0;
  }
  Print("w3m -dump, one process per file", megabytes, w3m);
  std::snprintf(label, sizeof label, "w3m -dump, %u processes at once", threads);
  Print(label, megabytes, w3mWide);
  std::printf("engine / w3m: %.1f by the clock, %.1f by CPU time (one core each)\n",
              w3m.wall / engine.wall, w3m.cpu / engine.cpu);
  std::printf("engine on %u threads / w3m one at a time: %.1f by the clock\n", threads,
              w3m.wall / threaded.wall);
  std::printf("engine on %u threads / w3m %u at once: %.1f by the clock\n", threads, threads,
              w3mWide.wall / threaded.wall);
  return 0;
}
