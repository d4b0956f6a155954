#pragma once
// multipart/form-data bodies, as upload tools post their forms: the boundary
// from the Content-Type, then each part's Content-Disposition name and its
// value, byte for byte. Bytes in, fields out; every malformed body ends in a
// defined problem, never a read past its end.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/core/request.h"

namespace snipora::service {

// The longest header line a part may have, and the most headers it may have.
inline constexpr std::size_t kMaxPartHeaderLine = 1024;
inline constexpr std::size_t kMaxPartHeaders = 8;

// Whether a Content-Type names multipart/form-data (of any parameters).
bool IsMultipartForm(std::string_view contentType);
// Its boundary parameter, quoted or not: nothing when it is absent, empty,
// longer than 70 bytes, or holds bytes a boundary may not.
std::optional<std::string> MultipartBoundary(std::string_view contentType);

enum class MultipartProblem {
  kNone,
  kUnterminated,   // the body ends before its closing boundary
  kMalformed,      // no opening boundary, bad delimiter or header lines, an encoded part
  kNoName,         // a part without Content-Disposition: form-data; name="..."
  kHeaderTooLong,  // a header line over kMaxPartHeaderLine, or too many headers
};
// One sentence for a refusal.
const char* MultipartProblemText(MultipartProblem problem);

struct MultipartForm {
  std::vector<Field> fields;                           // in order; parts with a filename are left out
  MultipartProblem problem = MultipartProblem::kNone;  // set: no fields
};
// The fields of a body delimited by `boundary` (CRLF line ends).
MultipartForm ParseMultipart(std::string_view body, std::string_view boundary);

}  // namespace snipora::service
