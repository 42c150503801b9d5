#pragma once
// The library's plain text log, "Logs/logFile.txt" beside the host program. Writing it never
// fails the caller.

#include <string>
#include <string_view>

namespace marqen {

void writeLog(std::string_view message, bool separated = false) noexcept;

// The same entry, in the "Logs" folder under the given folder.
void writeLogInFolder(const std::string& folder, std::string_view message,
                      bool separated = false) noexcept;

}  // namespace marqen
