// Memory for one parse. The parser allocates many small blocks (each node,
// attribute, name and text buffer) and, when the tree is destroyed, frees
// them one by one in a recursive walk. Handing them out of a few large
// blocks and dropping those at once saves about a fifth of the parse, and
// peak memory stays what it is with malloc: the tree holds nearly all of it
// until the end anyway, and buffers that grow by doubling leave at most as
// much again behind. Not thread-safe; one arena per parse.
#pragma once

#include <gumbo.h>

#include <cstddef>
#include <vector>

namespace bw {

class GumboArena {
 public:
  // `inputBytes` sizes the first block: the tree takes about fifteen times
  // the markup it is built from.
  explicit GumboArena(std::size_t inputBytes);
  ~GumboArena();
  GumboArena(const GumboArena&) = delete;
  GumboArena& operator=(const GumboArena&) = delete;

  // Points the parser's allocator at this arena. The output must not be
  // given to gumbo_destroy_output: it lives until the arena is destroyed.
  void Configure(GumboOptions& options);

 private:
  static void* Allocate(void* arena, std::size_t bytes);
  static void Deallocate(void* arena, void* block);
  void* NewBlock(std::size_t bytes);

  std::vector<void*> m_Blocks;
  char* m_Next = nullptr;
  std::size_t m_Left = 0;
  std::size_t m_NextBlockBytes;
};

}  // namespace bw
