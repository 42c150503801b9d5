#include <gtest/gtest.h>

#include <variant>

#include "platform/net/http_client.h"

namespace {

using marqen::net::HttpError;

TEST(DownloadModuleMissing, EveryRequestIsUnavailableWithTheLoadersReason) {
  EXPECT_EQ(marqen::net::downloadUnavailableReason(), "");  // nothing tried yet
  for (int attempt = 0; attempt < 2; ++attempt) {
    const auto result = marqen::net::httpGet("http://127.0.0.1:9/ca.crl");
    const auto* error = std::get_if<HttpError>(&result);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(*error, HttpError::Unavailable);
  }
  const std::string reason = marqen::net::downloadUnavailableReason();
  EXPECT_NE(reason.find("libmarqen_net.so"), std::string::npos) << reason;
}

}  // namespace
