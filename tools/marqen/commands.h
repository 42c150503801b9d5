#pragma once
#include "tools/marqen/command_line.h"

namespace marqen::tool {

int runBase64(Arguments args);
int runCertstore(Arguments args);

}  // namespace marqen::tool
