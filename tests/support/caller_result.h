#pragma once
// A result record as a caller of the library holds it: what the library hangs in it (calloc'd
// bytes or path) is released with free() when the record goes away or is cleared.

#include <cstdlib>
#include <vector>

#include "library/include/Marqen_InterfaceV2.h"

namespace marqen::test {

struct CallerResult {
  DataBuffer record{};
  DataBuffer* pointer = &record;

  CallerResult() = default;
  CallerResult(const CallerResult&) = delete;
  CallerResult& operator=(const CallerResult&) = delete;
  ~CallerResult() { clear(); }

  void clear() {
    std::free(record.data);
    std::free(record.filePath);
    record = DataBuffer{};
  }
  // The bytes of a result in memory.
  std::vector<unsigned char> bytes() const {
    return record.data ? std::vector<unsigned char>(record.data, record.data + record.length)
                       : std::vector<unsigned char>();
  }
};

}  // namespace marqen::test
