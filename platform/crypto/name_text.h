#pragma once
// Certificate names as text, written the way Windows writes an X.500 name string in reverse
// order (CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG). The whole system matches issuers by
// this text, so this is the one place that produces it.

#include <openssl/x509.h>

#include <string>

namespace marqen::crypto {

// UTF-8 text of the name: relative names from the last to the first, separated by ", ";
// attributes of one relative name in their encoded order, separated by " + "; "KEY=value".
std::string nameToText(const X509_NAME* name);

}  // namespace marqen::crypto
