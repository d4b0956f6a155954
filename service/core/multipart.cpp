#include "service/core/multipart.h"

#include <algorithm>

namespace snipora::service {
namespace {

constexpr std::size_t kMaxBoundary = 70;

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A header value as "type; name=value; name="quoted value"": its type, and
// its parameters (their names read in any case). Nothing when a quoted
// value is not closed.
struct HeaderValue {
  std::string_view type;
  std::vector<Field> parameters;
};
std::optional<HeaderValue> ReadHeaderValue(std::string_view value) {
  HeaderValue read;
  std::size_t at = std::min(value.find(';'), value.size());
  read.type = Trim(value.substr(0, at));
  while (at < value.size()) {
    ++at;  // past ';'
    const std::size_t end = std::min(value.find_first_of("=;", at), value.size());
    Field parameter;
    parameter.name = Trim(value.substr(at, end - at));
    at = end;
    if (at < value.size() && value[at] == '=') {
      ++at;
      while (at < value.size() && (value[at] == ' ' || value[at] == '\t')) ++at;
      if (at < value.size() && value[at] == '"') {
        // a quoted string; a backslash takes the byte after it as it is
        for (++at;; ++at) {
          if (at >= value.size()) return std::nullopt;
          if (value[at] == '"') break;
          if (value[at] == '\\' && ++at >= value.size()) return std::nullopt;
          parameter.value += value[at];
        }
        at = std::min(value.find(';', at), value.size());
      } else {
        const std::size_t stop = std::min(value.find(';', at), value.size());
        parameter.value = std::string(Trim(value.substr(at, stop - at)));
        at = stop;
      }
    }
    if (!parameter.name.empty()) read.parameters.push_back(std::move(parameter));
  }
  return read;
}

const std::string* Parameter(const HeaderValue& value, std::string_view name) {
  for (const Field& parameter : value.parameters)
    if (SameNoCase(parameter.name, name)) return &parameter.value;
  return nullptr;
}

// The bytes RFC 2046 allows in a boundary (a space but not last).
bool IsBoundaryByte(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         std::string_view("'()+_,-./:=? ").find(c) != std::string_view::npos;
}

// Whether `rest` is a proper beginning of `expected`: the body was cut there.
bool CutShort(std::string_view rest, std::string_view expected) {
  return rest.size() < expected.size() && expected.starts_with(rest);
}

}  // namespace

bool IsMultipartForm(std::string_view contentType) {
  const std::optional<HeaderValue> value = ReadHeaderValue(contentType);
  return value && SameNoCase(value->type, "multipart/form-data");
}

std::optional<std::string> MultipartBoundary(std::string_view contentType) {
  const std::optional<HeaderValue> value = ReadHeaderValue(contentType);
  if (!value || !SameNoCase(value->type, "multipart/form-data")) return std::nullopt;
  const std::string* boundary = Parameter(*value, "boundary");
  if (!boundary || boundary->empty() || boundary->size() > kMaxBoundary || boundary->back() == ' ' ||
      !std::all_of(boundary->begin(), boundary->end(), IsBoundaryByte))
    return std::nullopt;
  return *boundary;
}

const char* MultipartProblemText(MultipartProblem problem) {
  switch (problem) {
    case MultipartProblem::kNone: return "";
    case MultipartProblem::kUnterminated: return "The multipart body ends before its closing boundary.";
    case MultipartProblem::kMalformed: return "The multipart body is malformed.";
    case MultipartProblem::kNoName: return "A part of the multipart body has no form-data name.";
    case MultipartProblem::kHeaderTooLong: break;
  }
  return "A part of the multipart body has too long or too many header lines.";
}

MultipartForm ParseMultipart(std::string_view body, std::string_view boundary) {
  const auto refuse = [](MultipartProblem problem) { return MultipartForm{{}, problem}; };
  if (boundary.empty()) return refuse(MultipartProblem::kMalformed);
  const std::string dashes = "--" + std::string(boundary);
  const std::string delimiter = "\r\n" + dashes;
  // what comes before the first boundary (a preamble) is not read
  std::size_t at = 0;
  if (body.starts_with(dashes)) {
    at = dashes.size();
  } else {
    at = body.find(delimiter);
    if (at == std::string_view::npos)
      return refuse(CutShort(body, dashes) ? MultipartProblem::kUnterminated : MultipartProblem::kMalformed);
    at += delimiter.size();
  }
  MultipartForm form;
  for (;;) {
    // after a boundary: "--" ends the body (what follows is not read), else
    // spaces and CRLF begin a part
    std::string_view rest = body.substr(at);
    if (rest.starts_with("--")) return form;
    rest = rest.substr(std::min(rest.find_first_not_of(" \t"), rest.size()));
    if (!rest.starts_with("\r\n")) {
      const bool cut = rest.size() < 2 && (CutShort(rest, "\r\n") || CutShort(body.substr(at), "--"));
      return refuse(cut ? MultipartProblem::kUnterminated : MultipartProblem::kMalformed);
    }
    at = body.size() - rest.size() + 2;
    // the part's header lines, to the empty one
    std::optional<std::string> name;
    bool file = false;
    for (std::size_t lines = 0;; ++lines) {
      const std::string_view window = body.substr(at, kMaxPartHeaderLine + 2);
      const std::size_t end = window.find("\r\n");
      if (end == std::string_view::npos)
        return refuse(window.size() == kMaxPartHeaderLine + 2 ? MultipartProblem::kHeaderTooLong
                                                              : MultipartProblem::kUnterminated);
      const std::string_view line = window.substr(0, end);
      at += end + 2;
      if (line.empty()) break;
      if (lines == kMaxPartHeaders) return refuse(MultipartProblem::kHeaderTooLong);
      const std::size_t colon = line.find(':');
      // a folded line (obsolete) or a line that is no header
      if (colon == 0 || colon == std::string_view::npos || line[0] == ' ' || line[0] == '\t')
        return refuse(MultipartProblem::kMalformed);
      const std::string_view field = line.substr(0, colon);
      const std::optional<HeaderValue> value = ReadHeaderValue(line.substr(colon + 1));
      if (!value) return refuse(MultipartProblem::kMalformed);
      if (SameNoCase(field, "Content-Disposition")) {
        if (!SameNoCase(value->type, "form-data")) return refuse(MultipartProblem::kNoName);
        if (const std::string* named = Parameter(*value, "name")) name = *named;
        file = Parameter(*value, "filename") || Parameter(*value, "filename*");
      } else if (SameNoCase(field, "Content-Transfer-Encoding")) {
        // values are taken as sent: an encoded one would be taken wrong
        if (!SameNoCase(value->type, "binary") && !SameNoCase(value->type, "8bit") && !SameNoCase(value->type, "7bit"))
          return refuse(MultipartProblem::kMalformed);
      }
    }
    if (!name || name->empty()) return refuse(MultipartProblem::kNoName);
    const std::size_t next = body.find(delimiter, at);
    if (next == std::string_view::npos) return refuse(MultipartProblem::kUnterminated);
    // a file is no field of a form the service reads
    if (!file) form.fields.push_back({std::move(*name), std::string(body.substr(at, next - at))});
    at = next + delimiter.size();
  }
}

}  // namespace snipora::service
