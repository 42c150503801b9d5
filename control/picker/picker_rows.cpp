#include "control/picker/picker_rows.h"

#include <ctime>

#include "platform/os/text.h"

namespace marqen::picker {

std::string commonName(std::string_view name) {
  const auto start = name.find("CN=");
  if (start == std::string_view::npos) return std::string(name);
  const auto from = start + 3;
  const auto comma = name.find(',', from);
  return std::string(name.substr(from, comma == std::string_view::npos ? comma : comma - from));
}

std::string expiryText(std::int64_t unixSeconds) {
  const auto seconds = static_cast<std::time_t>(unixSeconds);
  std::tm local{};
  if (!::localtime_r(&seconds, &local)) return {};
  char text[64];
  const auto length = std::strftime(text, sizeof text, "%d-%m-%Y : %I:%M:%S %p", &local);
  return std::string(text, length);
}

Row rowOf(const CertificateSummary& summary) {
  const std::string subject = os::toUtf8(os::wideView(summary.subjectName));
  const std::string issuer = os::toUtf8(os::wideView(summary.issuerName));
  Row row;
  row.cells[IssuedTo] = commonName(subject);
  row.cells[IssuedBy] = commonName(issuer);
  row.cells[SerialNo] = summary.serialNumberHex ? summary.serialNumberHex : "";
  row.cells[ExpirationDate] = expiryText(summary.expiryTime);
  row.cells[IssuerDetails] = issuer;
  return row;
}

std::vector<Row> rowsOf(const CertificateSummary* const* list, std::int32_t count) {
  std::vector<Row> rows;
  for (std::int32_t i = 0; list && i < count && list[i]; ++i)
    rows.push_back(rowOf(*list[i]));
  return rows;
}

}  // namespace marqen::picker
