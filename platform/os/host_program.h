#pragma once
#include <string>

namespace marqen::os {

// Folder of the running program's executable (from /proc/self/exe), without a trailing
// separator; empty when it cannot be determined.
std::string hostProgramFolder();

// The user's configuration folder: $XDG_CONFIG_HOME, else $HOME/.config; empty when neither is
// set.
std::string userConfigFolder();

// The part of a path before its last '/' or '\'; "." for a bare file name, "/" for a file in
// the root folder.
std::string folderOf(const std::string& path);

}  // namespace marqen::os
