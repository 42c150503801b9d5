// marqen base64 encode FILE        prints the file as the library's Base64 text
// marqen base64 decode FILE OUT    writes the bytes of the Base64 text in FILE to OUT

#include <iostream>
#include <string_view>

#include "tools/marqen/commands.h"

namespace marqen::tool {
namespace {

constexpr std::string_view kUsage = "base64 encode FILE | base64 decode FILE OUT";

int encode(const std::string& file) {
  const FileInput input(file);
  // The library overwrites a non-null placeholder; it never frees it.
  char placeholder = 0;
  char* text = &placeholder;
  if (const ErrorCode code = DERtoBase64(input.get(), &text)) return reportLibraryError(code);
  const LibraryBuffer<char> owned(text);
  const std::string_view view(owned.get());
  std::cout << view;
  if (!view.ends_with('\n')) std::cout << '\n';
  return std::cout.flush() ? kExitOk : kExitFailed;
}

int decode(const std::string& file, const std::string& out) {
  const FileInput input(file);
  unsigned char placeholder = 0;
  unsigned char* bytes = &placeholder;
  int32_t length = 0;
  if (const ErrorCode code = Base64toDER(input.get(), &bytes, &length))
    return reportLibraryError(code);
  const LibraryBuffer<unsigned char> owned(bytes);
  return writeFileAtomically(out, {owned.get(), static_cast<std::size_t>(length)}) ? kExitOk
                                                                                   : kExitFailed;
}

}  // namespace

int runBase64(Arguments args) {
  // No options, but --help and "--" as everywhere else.
  const auto line = parseArguments(args, std::span<const Option>());
  if (!line) return reportUsage(kUsage);
  const auto& words = line->positional;
  if (words.size() == 2 && words[0] == "encode") return encode(words[1]);
  if (words.size() == 3 && words[0] == "decode") return decode(words[1], words[2]);
  return reportUsage(kUsage);
}

}  // namespace marqen::tool
