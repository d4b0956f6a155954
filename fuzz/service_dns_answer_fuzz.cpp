// A DNS answer (from the network, for a blocklist lookup): any bytes read
// without a fault, under any id; a listing always carries its addresses.
#include <cstdint>
#include <string_view>

#include "fuzz/support/fuzz_check.h"
#include "service/core/dns_message.h"

using namespace snipora::service;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view message(reinterpret_cast<const char*>(data), size);
  const uint16_t id = size >= 2 ? uint16_t((data[0] << 8) | data[1]) : 0;
  const DnsAnswer answer = ReadDnsAnswer(message, id);
  FUZZ_CHECK((answer.outcome == DnsAnswer::kListed) == !answer.addresses.empty());
  ReadDnsAnswer(message, uint16_t(id + 1));
  return 0;
}
