#pragma once
// The XML that YOURLS answers by default: its answer's members as elements
// of one <root> element, objects nested. Platform-neutral.
#include <string>
#include <string_view>

#include "service/core/json_body.h"

namespace snipora::service {

// An object as that XML document: strings escaped, numbers and booleans as
// their JSON text, null as an empty element. Text that XML cannot carry
// (bytes that are not UTF-8, control characters) is written as U+FFFD.
// Member names are the caller's own, written as they are.
std::string YourlsXml(const Json& answer);

// Text as XML character data: &, < and > escaped, what XML cannot carry
// replaced as above.
void AppendXmlText(std::string& out, std::string_view text);

}  // namespace snipora::service
