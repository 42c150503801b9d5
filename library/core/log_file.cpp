#include "library/core/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <ctime>

#include "platform/os/file_access.h"
#include "platform/os/host_program.h"

namespace marqen {

void writeLogInFolder(const std::string& folder, std::string_view message,
                      bool separated) noexcept {
  try {
    if (folder.empty()) return;
    const std::string logFolder = folder + "/Logs";
    ::mkdir(logFolder.c_str(), 0777);  // an existing folder is fine
    const std::string logPath = logFolder + "/logFile.txt";
    struct stat info {};
    const os::UniqueFd file =
        os::openWithoutWaiting(logPath, O_WRONLY | O_CREAT | O_APPEND, info, 0666);
    if (!file || !S_ISREG(info.st_mode)) return;

    std::array<char, 32> stamp{};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!::localtime_r(&now, &local)) return;
    if (std::strftime(stamp.data(), stamp.size(), "%Y/%m/%d %H:%M:%S", &local) == 0) return;

    std::string entry;
    if (separated) entry += "\r\n\r\n";
    entry += "\r\n";
    entry += stamp.data();
    entry += ": ";
    entry += message;
    // The whole entry at once; O_APPEND puts it at the end even if another process wrote.
    (void)os::writeFully(file.get(), reinterpret_cast<const unsigned char*>(entry.data()),
                         entry.size());
  } catch (...) {
    // Logging is best effort by design.
  }
}

void writeLog(std::string_view message, bool separated) noexcept {
  try {
    writeLogInFolder(os::hostProgramFolder(), message, separated);
  } catch (...) {
  }
}

}  // namespace marqen
