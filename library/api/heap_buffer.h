#pragma once
// Buffers handed to a caller: allocated with calloc, one element longer than counted and
// zero-filled, released by the caller with free(). Until handed over they are owned here, so a
// failure after allocation frees them.

#include <cstdlib>
#include <memory>
#include <span>
#include <string_view>
#include <type_traits>

namespace marqen {

struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};

template <typename T>
using HeapPtr = std::unique_ptr<T, FreeDeleter>;

// A zero-filled array of count + 1 elements; raises the memory-allocation code on failure.
template <typename T>
HeapPtr<T> heapAllocate(std::size_t count);

[[noreturn]] void raiseAllocationFailure();

// Zero-filled records handed to a caller; raises the memory-allocation code on failure.
template <typename T>
HeapPtr<T> heapRecords(std::size_t count) {
  static_assert(!std::is_pointer_v<T>, "heapPointers allocates arrays of pointers");
  void* p = std::calloc(count, sizeof(T));
  if (!p) raiseAllocationFailure();
  return HeapPtr<T>(static_cast<T*>(p));
}

// A zero-filled (null) array of pointers to records, handed to a caller.
template <typename T>
HeapPtr<T*> heapPointers(std::size_t count) {
  void* p = std::calloc(count, sizeof(void*));
  if (!p) raiseAllocationFailure();
  return HeapPtr<T*>(static_cast<T**>(p));
}

HeapPtr<unsigned char> heapCopy(std::span<const unsigned char> bytes);
HeapPtr<char> heapCopy(std::string_view text);
HeapPtr<char16_t> heapCopy(std::u16string_view text);

}  // namespace marqen
