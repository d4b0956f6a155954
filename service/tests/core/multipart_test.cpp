// multipart/form-data as upload tools post it: the boundary read from the
// Content-Type, each part's name and value byte for byte, and a defined
// refusal of every malformed or cut body.
#include <gtest/gtest.h>

#include <string>

#include "service/core/multipart.h"

namespace snipora::service {
namespace {

// A body as curl -F writes it (preamble-free, CRLF line ends).
std::string Part(std::string_view boundary, std::string_view headers, std::string_view value) {
  return "--" + std::string(boundary) + "\r\n" + std::string(headers) + "\r\n\r\n" + std::string(value) + "\r\n";
}
std::string Named(std::string_view boundary, std::string_view name, std::string_view value) {
  return Part(boundary, "Content-Disposition: form-data; name=\"" + std::string(name) + "\"", value);
}
std::string Closing(std::string_view boundary) { return "--" + std::string(boundary) + "--\r\n"; }

TEST(Multipart, BoundaryIsReadQuotedOrNotAndRefusedWhenUnusable) {
  EXPECT_EQ(MultipartBoundary("multipart/form-data; boundary=------------------------d74496d66958873e"),
            "------------------------d74496d66958873e");
  EXPECT_EQ(MultipartBoundary("Multipart/Form-Data;BOUNDARY=\"a b:c\"; charset=utf-8"), "a b:c");
  EXPECT_EQ(MultipartBoundary("multipart/form-data; charset=\"x;boundary=no\"; boundary=yes"), "yes");
  EXPECT_TRUE(IsMultipartForm("multipart/form-data"));
  EXPECT_FALSE(IsMultipartForm("multipart/mixed; boundary=x"));
  for (const char* type : {"multipart/form-data", "multipart/form-data; boundary=",
                           "multipart/form-data; boundary=\"\"", "multipart/form-data; boundary=\"unclosed",
                           "multipart/mixed; boundary=x", "multipart/form-data; boundary=\"ends in space \"",
                           "multipart/form-data; boundary=a\"b", "application/x-www-form-urlencoded; boundary=x"})
    EXPECT_FALSE(MultipartBoundary(type)) << type;
  EXPECT_TRUE(MultipartBoundary("multipart/form-data; boundary=" + std::string(70, 'b')));
  EXPECT_FALSE(MultipartBoundary("multipart/form-data; boundary=" + std::string(71, 'b')));
}

TEST(Multipart, ValuesComeByteForByteInOrderAndFilesAreLeftOut) {
  const std::string b = "xYz";
  // a boundary that follows no CRLF is the value's own
  constexpr char kBinary[] = "\0\xff\r\nline\n--xYz after LF\r--xYz";
  const std::string binary(kBinary, sizeof kBinary - 1);
  const std::string body = "preamble, not read\r\n" + Named(b, "action", "shorturl") +
                           Part(b, "content-disposition: form-data; name=\"ur\\\"l;\"\r\nContent-Type: text/plain",
                                "http://example.com/a b") +
                           Named(b, "empty", "") + Named(b, "raw", binary) +
                           Part(b, "Content-Disposition: form-data; name=\"upload\"; filename=\"a.png\"", "PNG...") +
                           "--xYz  \t\r\n" + "Content-Disposition: form-data; name=signature\r\n\r\nkey\r\n" +
                           Closing(b) + "epilogue, not read either";
  const MultipartForm form = ParseMultipart(body, b);
  ASSERT_EQ(form.problem, MultipartProblem::kNone) << MultipartProblemText(form.problem);
  ASSERT_EQ(form.fields.size(), 5u);
  EXPECT_EQ(form.fields[0].name, "action");
  EXPECT_EQ(form.fields[0].value, "shorturl");
  EXPECT_EQ(form.fields[1].name, "ur\"l;");
  EXPECT_EQ(form.fields[1].value, "http://example.com/a b");
  EXPECT_EQ(form.fields[2].value, "");
  EXPECT_EQ(form.fields[3].value, binary);
  EXPECT_EQ(form.fields[4].name, "signature");
  EXPECT_EQ(form.fields[4].value, "key");
}

TEST(Multipart, MalformedBodiesAreRefusedForWhatTheyLack) {
  const std::string b = "bnd";
  const std::string one = Named(b, "url", "http://example.com/");
  const std::string longLine = "X-Long: " + std::string(kMaxPartHeaderLine, 'x');
  std::string manyHeaders;
  for (std::size_t i = 0; i <= kMaxPartHeaders; ++i) manyHeaders += "X-H: 1\r\n";
  const struct {
    const char* what;
    std::string body;
    MultipartProblem problem;
  } cases[] = {
      {"no boundary at all", "url=http://example.com/", MultipartProblem::kMalformed},
      {"no closing boundary", one, MultipartProblem::kUnterminated},
      {"LF line ends", "--bnd\nContent-Disposition: form-data; name=\"a\"\n\nv\n--bnd--\n",
       MultipartProblem::kMalformed},
      {"bytes after a boundary", one + "--bndX\r\n", MultipartProblem::kMalformed},
      {"no Content-Disposition", Part(b, "Content-Type: text/plain", "v") + Closing(b), MultipartProblem::kNoName},
      {"no name", Part(b, "Content-Disposition: form-data; filename=\"a\"", "v") + Closing(b),
       MultipartProblem::kNoName},
      {"another disposition", Part(b, "Content-Disposition: attachment; name=\"a\"", "v") + Closing(b),
       MultipartProblem::kNoName},
      {"no headers", "--bnd\r\n\r\nv\r\n" + Closing(b), MultipartProblem::kNoName},
      {"unclosed quote", Part(b, "Content-Disposition: form-data; name=\"a", "v") + Closing(b),
       MultipartProblem::kMalformed},
      {"a folded line", Part(b, "Content-Disposition: form-data;\r\n name=\"a\"", "v") + Closing(b),
       MultipartProblem::kMalformed},
      {"a line without a colon", Part(b, "Content-Disposition: form-data; name=\"a\"\r\nnonsense", "v") + Closing(b),
       MultipartProblem::kMalformed},
      {"an encoded value",
       Part(b, "Content-Disposition: form-data; name=\"a\"\r\nContent-Transfer-Encoding: base64", "dg==") + Closing(b),
       MultipartProblem::kMalformed},
      {"a huge header line", Part(b, longLine, "v") + Closing(b), MultipartProblem::kHeaderTooLong},
      {"a huge line never ended", "--bnd\r\n" + longLine + longLine, MultipartProblem::kHeaderTooLong},
      {"too many headers", Part(b, manyHeaders + "Content-Disposition: form-data; name=\"a\"", "v") + Closing(b),
       MultipartProblem::kHeaderTooLong},
  };
  for (const auto& c : cases) {
    const MultipartForm form = ParseMultipart(c.body, b);
    EXPECT_EQ(form.problem, c.problem) << c.what;
    EXPECT_TRUE(form.fields.empty()) << c.what;
  }
  // a header line of the longest length is still read
  const std::string longest = "X-Long: " + std::string(kMaxPartHeaderLine - 8, 'x');
  EXPECT_EQ(
      ParseMultipart(Part(b, longest + "\r\nContent-Disposition: form-data; name=a", "v") + Closing(b), b).problem,
      MultipartProblem::kNone);
}

// Wherever a body is cut, it is refused, never read past its end (the
// sanitizer build reads each cut copy from a buffer of its own size).
TEST(Multipart, EveryCutOfABodyIsRefused) {
  const std::string b = "----cut";
  const std::string body = Named(b, "action", "shorturl") + Named(b, "url", "http://example.com/\r\n") +
                           Part(b, "Content-Disposition: form-data; name=\"f\"; filename=\"x\"", "file") + Closing(b);
  ASSERT_EQ(ParseMultipart(body, b).fields.size(), 2u);
  const std::size_t complete = body.size() - 2;  // the CRLF after the closing boundary is not needed
  for (std::size_t size = 0; size < complete; ++size) {
    const std::string cut = body.substr(0, size);
    const MultipartForm form = ParseMultipart(cut, b);
    EXPECT_NE(form.problem, MultipartProblem::kNone) << size;
    EXPECT_TRUE(form.fields.empty()) << size;
  }
  EXPECT_EQ(ParseMultipart(body.substr(0, complete), b).fields.size(), 2u);
}

}  // namespace
}  // namespace snipora::service
