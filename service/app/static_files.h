#pragma once
// The pages' static files (service/static/), compiled into the program: the
// build turns each into bytes (embed_static.cmake), so the service needs no
// files beside it.
#include <span>
#include <string_view>

namespace snipora::service {

struct StaticFile {
  std::string_view name;  // as under /static/: "site.css"
  std::string_view type;  // Content-Type
  std::string_view etag;  // quoted, from the bytes
  std::span<const unsigned char> bytes;
};

// The file of that name; nullptr for any other name.
const StaticFile* FindStaticFile(std::string_view name);

}  // namespace snipora::service
