#pragma once
// What the certificate picker shows for a listing: one row of five texts per certificate, in the
// order the library lists them. Nothing here draws or loads anything.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "library/include/Marqen_InterfaceV2.h"

namespace marqen::picker {

// The list's columns, in display order.
enum Column : std::size_t { IssuedTo, IssuedBy, SerialNo, ExpirationDate, IssuerDetails };
inline constexpr std::size_t kColumnCount = 5;
inline constexpr const char* kColumnTitles[kColumnCount] = {"Issued To", "Issued By", "Serial No.",
                                                            "Expiration Date", "Issuer Details"};

struct Row {
  std::string cells[kColumnCount];
};

// The text after the first "CN=" up to the next "," (or the end). A name without "CN=" is shown
// whole, so a user still sees who it is.
std::string commonName(std::string_view name);

// Unix seconds in local time as "%d-%m-%Y : %I:%M:%S %p"; empty when the time cannot be shown.
std::string expiryText(std::int64_t unixSeconds);

Row rowOf(const CertificateSummary& summary);

// Rows for the first `count` entries of a listing (a null entry ends it early).
std::vector<Row> rowsOf(const CertificateSummary* const* list, std::int32_t count);

}  // namespace marqen::picker
