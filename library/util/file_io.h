#pragma once
// Whole-file reading and writing for the library's inputs and outputs.

#include <cstdint>
#include <string>

#include <vector>

#include "library/include/Marqen_InterfaceV2.h"
#include "platform/os/content_source.h"

namespace marqen {

// Reads a whole regular file. The vector has room for one more byte, so that a terminator can be
// added without copying the content.
// Raises 202 when it cannot be opened (empty path, missing, not a
// regular file), 201 when it is empty, 203 when it cannot be read completely or is too large
// for a 32-bit length, 401 when memory runs out.
std::vector<unsigned char> readInputFile(const char16_t* filePath);

// Opens a regular file whose content is only hashed, to be read a block at a time, whatever
// its size. Raises 202 and 201 as readInputFile does; reads nothing yet.
os::ContentSource openInputFile(const char16_t* filePath);

// Creates or replaces a file with the bytes. Raises 208 (null path), 202 (empty path, cannot
// create), 402 (no bytes), checkOutputFolder's code, or 204 when not every byte reached the
// file; a partly written file is removed.
void writeOutputFile(const unsigned char* bytes, int32_t count, const char16_t* filePath);

// The folder of the path (the current folder for a bare file name) must exist (raises 205) and
// be readable and writable (raises 206).
void checkOutputFolder(const std::string& filePath);

}  // namespace marqen
