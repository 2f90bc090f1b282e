#include "GumboArena.h"

#include <algorithm>
#include <cstdlib>

namespace bw {
namespace {

constexpr std::size_t kAlignment = alignof(std::max_align_t);
constexpr std::size_t kSmallestBlock = 64u << 10;
constexpr std::size_t kLargestBlock = 16u << 20;

}  // namespace

GumboArena::GumboArena(std::size_t inputBytes)
    : m_NextBlockBytes(std::clamp(inputBytes * 16, kSmallestBlock, kLargestBlock)) {}

GumboArena::~GumboArena() {
  for (void* block : m_Blocks) std::free(block);
}

void GumboArena::Configure(GumboOptions& options) {
  options.allocator = &GumboArena::Allocate;
  options.deallocator = &GumboArena::Deallocate;
  options.userdata = this;
}

void* GumboArena::Allocate(void* arena, std::size_t bytes) {
  auto& self = *static_cast<GumboArena*>(arena);
  bytes = (std::max<std::size_t>(bytes, 1) + kAlignment - 1) & ~(kAlignment - 1);
  if (bytes > self.m_Left) return self.NewBlock(bytes);
  void* block = self.m_Next;
  self.m_Next += bytes;
  self.m_Left -= bytes;
  return block;
}

// Freed blocks are given back with the arena.
void GumboArena::Deallocate(void*, void*) {}

void* GumboArena::NewBlock(std::size_t bytes) {
  // A large buffer gets a block of its own, so the rest of the current
  // block still serves the small ones.
  bool own = bytes > m_NextBlockBytes / 4;
  std::size_t size = own ? bytes : m_NextBlockBytes;
  void* block = std::malloc(size);
  // The parser does not check for failed allocations; stop here rather than
  // let it write through a null pointer.
  if (block == nullptr) std::abort();
  m_Blocks.push_back(block);
  if (!own) {
    m_NextBlockBytes = std::min(m_NextBlockBytes * 2, kLargestBlock);
    m_Next = static_cast<char*>(block) + bytes;
    m_Left = size - bytes;
  }
  return block;
}

}  // namespace bw
