#include "core/platform/lazy_curl.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace qs {
namespace {

// Each setter takes one type of argument; an option of another type is refused rather than
// handed to libcurl, which would read an argument of the wrong size. The library is opened
// privately: none of its names become the process's, so a library that links libcurl itself
// cannot meet a second definition of them.
TEST(LazyCurlTest, SettersRefuseOptionsOfAnotherTypeAndLibcurlsNamesStayOutOfTheProcess) {
  QSCurlTransfer transfer;
  ASSERT_TRUE(transfer.valid());
  EXPECT_EQ(transfer.setText(CURLOPT_URL, "https://example.test/"), CURLE_OK);
  EXPECT_EQ(transfer.setNumber(CURLOPT_URL, 1L), CURLE_BAD_FUNCTION_ARGUMENT);
  EXPECT_EQ(transfer.setText(CURLOPT_TIMEOUT_MS, "5"), CURLE_BAD_FUNCTION_ARGUMENT);
  EXPECT_EQ(transfer.setSize(CURLOPT_TIMEOUT_MS, 5), CURLE_BAD_FUNCTION_ARGUMENT);
  EXPECT_EQ(transfer.setSize(CURLOPT_POSTFIELDSIZE_LARGE, 5), CURLE_OK);
  EXPECT_FALSE(transfer.textInfo(CURLINFO_RESPONSE_CODE));
  EXPECT_EQ(transfer.numberInfo(CURLINFO_RESPONSE_CODE), 0L);
  EXPECT_EQ(::dlsym(RTLD_DEFAULT, "curl_easy_setopt"), nullptr);
  EXPECT_EQ(::dlsym(RTLD_DEFAULT, "curl_easy_init"), nullptr);
}

}  // namespace
}  // namespace qs
