#pragma once
#include "library/include/Marqen_InterfaceV2.h"

namespace marqen {

// Checks the request in its documented order, signs, and delivers the message.
void signContent(const SignRequest* request, DataBuffer** result);

}  // namespace marqen
