#pragma once

namespace marqen::crypto {

// Makes the legacy algorithms (RC2, 3DES-based PBE) available next to the default ones, so
// PFX files exported by older systems still open. Safe to call often; loads once.
void ensureLegacyAlgorithms() noexcept;

}  // namespace marqen::crypto
