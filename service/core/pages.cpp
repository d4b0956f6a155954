#include "service/core/pages.h"

namespace snipora::service {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

constexpr std::string_view kStyle =
    "<style>body{font-family:system-ui,sans-serif;max-width:40rem;margin:3rem auto;padding:0 1rem;color:#222}"
    "h1{font-weight:600;font-size:1.6rem}input[type=text]{width:100%;box-sizing:border-box;padding:.6rem;"
    "font-size:1rem;border:1px solid #999;border-radius:4px;margin:.3rem 0 .8rem}"
    "input[type=submit]{padding:.6rem 1.4rem;font-size:1rem;border:0;border-radius:4px;background:#2b6cb0;"
    "color:#fff;cursor:pointer}blockquote{margin:1rem 0;padding:1rem;background:#f3f6fa;border-radius:4px;"
    "font-size:1.2rem;word-break:break-all}small{font-size:.85rem}.long{color:#555;word-break:break-all}"
    "label{font-size:.9rem;color:#444}</style>";

std::string Head(std::string_view title) {
  std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                     "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\"><title>";
  page += HtmlEscape(title);
  page += "</title>";
  page += kStyle;
  page += "</head><body>\n";
  return page;
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string LocationValue(std::string_view address) {
  std::string out;
  out.reserve(address.size());
  for (char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string CreatedPage(std::string_view shortAddress, std::string_view address) {
  // The short address is letters, digits, "-", "_", ".", ":" and "/": it can
  // hold neither marker. The long address is escaped, so neither can it.
  std::string page = Head("Snipora: your short address");
  page += "<h1>Your short address</h1>\n<blockquote><b>http://";
  page += HtmlEscape(shortAddress);
  page += kStartMarker;
  page += HtmlEscape(shortAddress);
  page += kEndMarker;
  page += "\n<p class=\"long\">It leads to ";
  page += HtmlEscape(address);
  page += "</p>\n<p><a href=\"/\">Shorten another address</a></p>\n</body></html>\n";
  return page;
}

std::string MessagePage(std::string_view title, std::string_view text) {
  std::string page = Head(title);
  page += "<h1>";
  page += HtmlEscape(title);
  page += "</h1>\n<p>";
  page += HtmlEscape(text);
  page += "</p>\n<p><a href=\"/\">Shorten an address</a></p>\n</body></html>\n";
  return page;
}

std::string HomePage(std::string_view publicHost, std::string_view downloadName) {
  std::string page = Head("Snipora: shorten an address");
  page += "<h1>Shorten an address</h1>\n"
          "<form method=\"post\" action=\"/create.php\">\n"
          "<input type=\"hidden\" name=\"source\" value=\"indexpage\">\n"
          "<label for=\"url\">Long address</label>\n"
          "<input type=\"text\" id=\"url\" name=\"url\" placeholder=\"https://example.com/a/long/address\" "
          "required autofocus>\n"
          "<label for=\"alias\">Short code of your choice (optional: letters, digits, - and _)</label>\n"
          "<input type=\"text\" id=\"alias\" name=\"alias\" maxlength=\"32\" pattern=\"[A-Za-z0-9_-]*\">\n"
          "<input type=\"submit\" name=\"submit\" value=\"Make short\">\n</form>\n"
          "<p><small>Short addresses look like http://";
  page += HtmlEscape(publicHost);
  page += "/Ab3dE9x and never expire.</small></p>\n";
  if (!downloadName.empty()) {
    page += "<p><a href=\"/download/";
    page += HtmlEscape(downloadName);
    page += "\">Snipora for Windows</a>: the desktop program, set up to shorten with this service.</p>\n";
  }
  page += "</body></html>\n";
  return page;
}

}  // namespace snipora::service
