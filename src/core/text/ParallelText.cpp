#include "text/ParallelText.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>

namespace bw {

unsigned DefaultTextThreads() {
  return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

std::vector<ConvertedText> ConvertInParallel(std::size_t count,
                                             const std::function<std::string(std::size_t)>& convert,
                                             unsigned threads) {
  std::vector<ConvertedText> results(count);
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t i = next++; i < count; i = next++) {
      try {
        results[i].text = convert(i);
      } catch (...) {
        results[i].error = std::current_exception();
      }
    }
  };
  if (threads == 0) threads = DefaultTextThreads();
  const auto helpers = static_cast<unsigned>(std::min<std::size_t>(threads, count)) - (count > 0);
  std::vector<std::thread> pool;
  pool.reserve(helpers);
  for (unsigned i = 0; i < helpers; ++i) {
    try {
      pool.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // no thread to be had: the ones there are (and this one) do it all
    }
  }
  work();
  for (std::thread& thread : pool) thread.join();
  return results;
}

}  // namespace bw
