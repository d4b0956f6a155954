#include "service/links/country_lookup.h"

#include <arpa/inet.h>
#include <maxminddb.h>
#include <netinet/in.h>

#include <cstring>
#include <stdexcept>

namespace snipora::service {

CountryLookup::CountryLookup(const std::string& path) : db_(std::make_unique<MMDB_s>()) {
  const int status = MMDB_open(path.c_str(), MMDB_MODE_MMAP, db_.get());
  if (status != MMDB_SUCCESS) {
    db_.reset();
    throw std::runtime_error("--geoip-database " + path + ": " + MMDB_strerror(status));
  }
}

CountryLookup::~CountryLookup() {
  if (db_) MMDB_close(db_.get());
}

CountryCode CountryLookup::Find(std::string_view address) const {
  // an address as the transport or a trusted proxy's header gave it: a
  // literal, copied to be terminated; anything longer is no address
  char text[INET6_ADDRSTRLEN + 1];
  if (address.empty() || address.size() >= sizeof text) return kNoCountry;
  std::memcpy(text, address.data(), address.size());
  text[address.size()] = '\0';
  sockaddr_storage storage{};
  auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
  if (inet_pton(AF_INET, text, &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
  } else if (inet_pton(AF_INET6, text, &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
  } else {
    return kNoCountry;
  }
  int error = MMDB_SUCCESS;
  MMDB_lookup_result_s result = MMDB_lookup_sockaddr(db_.get(), reinterpret_cast<sockaddr*>(&storage), &error);
  if (error != MMDB_SUCCESS || !result.found_entry) return kNoCountry;
  MMDB_entry_data_s data{};
  if (MMDB_get_value(&result.entry, &data, "country", "iso_code", nullptr) != MMDB_SUCCESS || !data.has_data ||
      data.type != MMDB_DATA_TYPE_UTF8_STRING || data.data_size != 2)
    return kNoCountry;
  const unsigned char a = static_cast<unsigned char>(data.utf8_string[0]);
  const unsigned char b = static_cast<unsigned char>(data.utf8_string[1]);
  if (a < 'A' || a > 'Z' || b < 'A' || b > 'Z') return kNoCountry;
  return CountryCode(a << 8 | b);
}

}  // namespace snipora::service
