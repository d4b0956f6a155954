#include "service/core/yourls_xml.h"

namespace snipora::service {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The length of the UTF-8 sequence at the start of `text` that XML 1.0 may
// carry; 0 when it is not one (a bad or cut sequence, a surrogate, an
// overlong form, U+FFFE, U+FFFF, a control character).
std::size_t CharacterLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return lead >= 0x20 || lead == '\t' || lead == '\n' || lead == '\r' ? 1 : 0;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  if (length == 3 && lead == 0xEF && byte(1) == 0xBF && byte(2) >= 0xBE) return 0;
  return length;
}

void AppendElement(std::string& out, const std::string& name, const Json& value) {
  out += '<' + name + '>';
  if (value.is_object()) {
    for (const auto& [member, inner] : value.items()) AppendElement(out, member, inner);
  } else if (value.is_string()) {
    AppendXmlText(out, value.get_ref<const std::string&>());
  } else if (!value.is_null()) {
    out += JsonText(value);
  }
  out += "</" + name + '>';
}

}  // namespace

void AppendXmlText(std::string& out, std::string_view text) {
  while (!text.empty()) {
    const std::size_t length = CharacterLength(text);
    if (length == 0) {
      out += kReplacement;
      text.remove_prefix(1);
      continue;
    }
    switch (text[0]) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += text.substr(0, length);
    }
    text.remove_prefix(length);
  }
}

std::string YourlsXml(const Json& answer) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  AppendElement(out, "root", answer);
  out += '\n';
  return out;
}

}  // namespace snipora::service
