#pragma once
#include "tools/marqen/command_line.h"

namespace marqen::tool {

int runBase64(Arguments args);
int runCertstore(Arguments args);
int runSign(Arguments args);
int runVerify(Arguments args);
int runContent(Arguments args);
int runCosign(Arguments args);
int runCountersign(Arguments args);
int runRawsign(Arguments args);
int runVerifyRaw(Arguments args);
int runVerifyCountersignature(Arguments args);
int runToken(Arguments args);
int runPick(Arguments args);
int runControl(Arguments args);
int runInspect(Arguments args);
int runCheck(Arguments args);
int runView(Arguments args);

}  // namespace marqen::tool
