#pragma once
// New short codes: kCodeLength letters and digits from the system's random
// source, so that codes say nothing about each other and cannot be walked.
#include <string>

namespace snipora::service {

// Throws std::system_error when the random source fails.
std::string RandomCode();

}  // namespace snipora::service
