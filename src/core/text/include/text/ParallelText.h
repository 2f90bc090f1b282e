// Runs independent conversions on several threads at once. The HTML parser
// takes three quarters of a document's time and one core alone cannot keep
// up with an archive's worth of pages, so the callers that convert many
// documents hand them over here and keep everything else (the database, the
// questions to the administrator) on their own thread, in document order.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace bw {

struct ConvertedText {
  std::string text;
  // What the conversion threw, for the caller to rethrow where it handles
  // that document: a failure reaches the administrator in the same place
  // and order as if it had been converted there.
  std::exception_ptr error;
};

// The number of threads used when none is asked for: one per core, at most 8.
unsigned DefaultTextThreads();

// convert(i) for every i below `count`, on up to `threads` threads (0: the
// default); results in the order of i. `convert` must not touch anything
// another call touches.
std::vector<ConvertedText> ConvertInParallel(std::size_t count,
                                             const std::function<std::string(std::size_t)>& convert,
                                             unsigned threads = 0);

}  // namespace bw
