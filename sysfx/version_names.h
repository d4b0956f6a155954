#pragma once
// The decision table that puts a version record into words.
#include <windows.h>

#include "runtime/text.h"
#include "sysfx/version_source.h"

namespace snipora {

struct VersionNames {
  Text version;  // short form, "Microsoft Windows NT 6.1"; empty for an unknown platform
  Text name;     // full name with edition
};

// Asks `products` for the product code only on NT 6 and later: older systems
// lack the function.
VersionNames NameVersion(const OSVERSIONINFOEXA& record, const VersionSource& products);

// The service-pack text of the record, which need not be zero-terminated.
Text ServicePackText(const OSVERSIONINFOEXA& record);

// Decimal digits of an unsigned record field.
Text DecimalText(DWORD value);

}  // namespace snipora
