#pragma once
// One pixel of a cairo image surface (ARGB32), read after cairo_surface_flush.

#include <cairo.h>

#include <cstdint>

namespace marqen::test {

inline std::uint32_t pixelAt(cairo_surface_t* surface, int x, int y) {
  const unsigned char* row =
      cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
  return reinterpret_cast<const std::uint32_t*>(row)[x];
}

}  // namespace marqen::test
