// Base64 text to a file of bytes, and a file's bytes to Base64 text, through the library.

#include <cstdlib>
#include <fstream>
#include <limits>
#include <stdexcept>

#include "control/script/marqen_ctrl.h"
#include "control/script/script_frame.h"
#include "control/script/script_text.h"
#include "platform/os/text.h"

namespace marqen::control {
namespace {

// An output pointer of the library's: it must hold a non-null placeholder on entry; what the
// library puts in its place is freed with the holder.
template <typename Byte>
struct LibraryOutput {
  Byte placeholder{};
  Byte* pointer = &placeholder;

  LibraryOutput() = default;
  LibraryOutput(const LibraryOutput&) = delete;
  LibraryOutput& operator=(const LibraryOutput&) = delete;
  ~LibraryOutput() {
    if (pointer != &placeholder) std::free(pointer);
  }
  bool delivered() const noexcept { return pointer && pointer != &placeholder; }
};

}  // namespace

bool CMarqenCtrl::Base64ToDER(const ScriptString& strInBase64, const ScriptString& strOutFile) {
  return guarded(m_strStatus, "Exception in Base64TODER", false, [&] {
    std::string text = scriptText(strInBase64);
    if (text.empty()) {
      m_strStatus = "Invalid Base64 string.";
      return false;
    }
    const std::string outFile = scriptText(strOutFile);
    if (outFile.empty()) {
      m_strStatus = " Invalid outFile path.";
      return false;
    }
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
      throw std::length_error("too long for a library record");
    DataBuffer input{nullptr, reinterpret_cast<unsigned char*>(text.data()),
                     static_cast<std::int32_t>(text.size()), DATA_IN_MEMORY};
    LibraryOutput<unsigned char> output;
    std::int32_t outputLength = 0;

    const BoundLibrary library(m_binding);
    if (auto missing = library.missing(&LibraryExports::Base64toDER, "Base64toDER")) {
      m_strStatus = std::move(*missing);
      return false;
    }
    const ErrorCode code = library.exports().Base64toDER(&input, &output.pointer, &outputLength);
    if (code != 0) {
      m_strStatus = library.message(code);
      return false;
    }
    std::ofstream file(outFile, std::ios::binary | std::ios::trunc);
    if (!file.is_open()) {
      m_strStatus = "Unable to create the file.";
      return false;
    }
    if (output.delivered() && outputLength > 0)
      file.write(reinterpret_cast<const char*>(output.pointer), outputLength);
    file.close();
    // A write that fails is an unexpected failure of this method.
    if (!file) throw std::runtime_error("the output file was not written");
    m_strStatus = kSuccess;
    return true;
  });
}

std::u16string CMarqenCtrl::DERToBase64(const ScriptString& strInFile) {
  return guarded(m_strStatus, "DERToBase64::Exception in DERToBase64", std::u16string(), [&] {
    const std::string path8 = scriptText(strInFile);
    if (path8.empty()) {
      m_strStatus = "Invalid file path.";
      return std::u16string();
    }
    std::u16string path = os::toUtf16(path8);
    const DataBuffer input{path.data(), nullptr, 0, DATA_IN_FILE};
    LibraryOutput<char> output;

    const BoundLibrary library(m_binding);
    if (auto missing = library.missing(&LibraryExports::DERtoBase64, "DERtoBase64")) {
      m_strStatus = std::move(*missing);
      return std::u16string();
    }
    const ErrorCode code = library.exports().DERtoBase64(&input, &output.pointer);
    if (code != 0) {
      m_strStatus = library.message(code);
      return std::u16string();
    }
    std::u16string result = output.delivered() ? scriptString(output.pointer) : std::u16string();
    m_strStatus = kSuccess;
    return result;
  });
}

}  // namespace marqen::control
