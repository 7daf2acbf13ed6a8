// Answers arbitrary bytes as a DNS query. Never a crash; the answer always has a whole header
// with the query's ID (when it has one) and the response bit, and echoes the question intact.
#include "core/routing/dns_query.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> query(data, size);
  qs::QSDNSMessage response = qs::QSDNSQuery::processQuery(query);
  if (response.size() < qs::QSDNSQuery::headerSize) std::abort();
  if (size >= 2 && (response[0] != data[0] || response[1] != data[1])) std::abort();
  if ((response[2] & 0x80) == 0) std::abort();
  bool formatError = (response[3] & 0x0f) == 1;
  if (!formatError) {
    // The question section is echoed byte for byte after the header.
    auto name = qs::QSDNSQuery::parseName(query, qs::QSDNSQuery::headerSize);
    if (!name) std::abort();
    std::size_t questionEnd = name->end + 4;
    if (response.size() < questionEnd) std::abort();
    for (std::size_t i = qs::QSDNSQuery::headerSize; i < questionEnd; ++i)
      if (response[i] != data[i]) std::abort();
  }
  return 0;
}
