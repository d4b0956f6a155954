#include "service/links/codes.h"

#include <sys/random.h>

#include <cerrno>
#include <system_error>

#include "service/core/address_check.h"

namespace snipora::service {

std::string RandomCode() {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static_assert(sizeof kAlphabet - 1 == 62);
  std::string code;
  while (code.size() < kCodeLength || IsReservedCode(code)) {
    if (code.size() == kCodeLength) code.clear();
    unsigned char bytes[16];
    const ssize_t got = getrandom(bytes, sizeof bytes, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "getrandom");
    }
    for (ssize_t i = 0; i < got && code.size() < kCodeLength; ++i) {
      // 248 = 4 * 62: bytes above would favour the first letters
      if (bytes[i] < 248) code += kAlphabet[bytes[i] % 62];
    }
  }
  return code;
}

}  // namespace snipora::service
