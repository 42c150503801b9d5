#include "library/api/heap_buffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>

#include "library/core/library_error.h"

namespace marqen {

namespace {

// Large results (a signed 256 MiB document) are written once, page by page; huge pages save
// most of the page faults that writing them would otherwise cost.
void preferHugePages(void* p, std::size_t bytes) {
  constexpr std::size_t kHugePage = 2U * 1024U * 1024U;
  if (bytes < 4 * kHugePage) return;
  const auto start = (reinterpret_cast<std::uintptr_t>(p) + kHugePage - 1) & ~(kHugePage - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(kHugePage - 1);
  if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

}  // namespace

void raiseAllocationFailure() {
  raiseError(err::MEMORY_ALLOCATION);
}

template <typename T>
HeapPtr<T> heapAllocate(std::size_t count) {
  void* p = std::calloc(count + 1, sizeof(T));
  if (!p) raiseError(err::MEMORY_ALLOCATION);
  preferHugePages(p, (count + 1) * sizeof(T));
  return HeapPtr<T>(static_cast<T*>(p));
}

template HeapPtr<unsigned char> heapAllocate<unsigned char>(std::size_t);
template HeapPtr<char> heapAllocate<char>(std::size_t);
template HeapPtr<char16_t> heapAllocate<char16_t>(std::size_t);

namespace {
template <typename T, typename Range>
HeapPtr<T> copyInto(const Range& source) {
  auto out = heapAllocate<T>(source.size());
  std::copy(source.begin(), source.end(), out.get());
  return out;
}
}  // namespace

HeapPtr<unsigned char> heapCopy(std::span<const unsigned char> bytes) {
  return copyInto<unsigned char>(bytes);
}
HeapPtr<char> heapCopy(std::string_view text) {
  return copyInto<char>(text);
}
HeapPtr<char16_t> heapCopy(std::u16string_view text) {
  return copyInto<char16_t>(text);
}

}  // namespace marqen
