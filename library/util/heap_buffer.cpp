#include "library/util/heap_buffer.h"

#include <algorithm>

#include "library/api/library_error.h"

namespace marqen {

template <typename T>
HeapPtr<T> heapAllocate(std::size_t count) {
  void* p = std::calloc(count + 1, sizeof(T));
  if (!p) raiseError(err::kMemoryAllocation);
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
