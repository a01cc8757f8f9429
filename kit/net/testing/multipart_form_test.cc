// The test server's multipart/form-data reader: the forms clients send,
// the RFC's allowances (quoted boundary, preamble, epilogue, padding, parts
// without headers) and the malformed bodies it refuses whole.
#include "kit/net/testing/multipart_form.h"

#include <gtest/gtest.h>

namespace kit::test {
namespace {

using namespace std::string_literals;

constexpr const char* kType = "multipart/form-data; boundary=XyZ";

TEST(MultipartForm, ReadsEveryPartWithItsHeadersAndExactContent) {
  // Text like the boundary that is not a delimiter, and bytes of any value.
  const std::string file = "line one\r\n-XyZ\r\nx--XyZ\r\n--XyY\r\n\0\xff end\r\n"s;
  std::string body =
      "--XyZ\r\n"
      "Content-Disposition: form-data; name=\"title\"\r\n"
      "\r\n"
      "hello\r\n"
      "--XyZ\r\n"
      "Content-Disposition: form-data; name=\"photo\"; filename=\"a \\\"b\\\".png\"\r\n"
      "Content-Type: image/png\r\n"
      "\r\n" +
      file +
      "\r\n--XyZ\r\n"
      "Content-Disposition: form-data; name=\"empty\"\r\n"
      "\r\n"
      "\r\n--XyZ--\r\n";
  auto parts = parseMultipartFormData(kType, body);
  ASSERT_TRUE(parts);
  ASSERT_EQ(parts->size(), 3u);
  EXPECT_EQ((*parts)[0].name, "title");
  EXPECT_EQ((*parts)[0].filename, "");
  EXPECT_EQ((*parts)[0].contentType, "");
  EXPECT_EQ((*parts)[0].content, "hello");
  EXPECT_EQ((*parts)[1].name, "photo");
  EXPECT_EQ((*parts)[1].filename, "a \"b\".png");
  EXPECT_EQ((*parts)[1].contentType, "image/png");
  EXPECT_EQ((*parts)[1].headers.size(), 2u);
  EXPECT_EQ((*parts)[1].content, file);
  EXPECT_EQ((*parts)[2].content, "");
}

TEST(MultipartForm, AcceptsWhatTheFormatAllows) {
  // A quoted boundary with a ";" in it, a preamble, padding after a
  // delimiter, a part with no headers at all, and an epilogue.
  std::string body =
      "preamble text\r\n"
      "--a;b  \r\n"
      "\r\n"
      "no headers\r\n"
      "--a;b\r\n"
      "content-disposition: FORM-DATA; NAME=x\r\n"
      "\r\n"
      "1\r\n"
      "--a;b--\r\n"
      "epilogue";
  auto parts = parseMultipartFormData("Multipart/Form-Data; charset=utf-8; boundary=\"a;b\"", body);
  ASSERT_TRUE(parts);
  ASSERT_EQ(parts->size(), 2u);
  EXPECT_TRUE((*parts)[0].headers.empty());
  EXPECT_EQ((*parts)[0].content, "no headers");
  EXPECT_EQ((*parts)[1].name, "x");
  EXPECT_EQ((*parts)[1].content, "1");

  auto none = parseMultipartFormData(kType, "--XyZ--\r\n");
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());
}

TEST(MultipartForm, RefusesMalformedBodiesAndTypesWhole) {
  const std::string part = "--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n";
  EXPECT_FALSE(parseMultipartFormData(kType, part)) << "no closing delimiter";
  EXPECT_FALSE(parseMultipartFormData(kType, part + "--XyZ")) << "the last part never ends";
  EXPECT_FALSE(parseMultipartFormData(kType, "--XyZ\r\nContent-Disposition: form-data")) << "headers never end";
  EXPECT_FALSE(parseMultipartFormData(kType, "--XyZ\r\nno colon\r\n\r\n1\r\n--XyZ--")) << "not a header line";
  EXPECT_FALSE(parseMultipartFormData(kType, "--XyZjunk\r\n\r\n1\r\n--XyZ--")) << "text after the delimiter";
  EXPECT_FALSE(parseMultipartFormData(kType, "")) << "no delimiter at all";
  EXPECT_FALSE(parseMultipartFormData("multipart/form-data", part + "--XyZ--")) << "no boundary";
  EXPECT_FALSE(parseMultipartFormData("multipart/form-data; boundary=\"XyZ", part + "--XyZ--")) << "open quote";
  EXPECT_FALSE(parseMultipartFormData("application/octet-stream; boundary=XyZ", part + "--XyZ--"));
  EXPECT_FALSE(parseMultipartFormData("multipart/form-data; boundary=" + std::string(71, 'b'), "--"))
      << "a boundary is at most 70 characters";
}

TEST(MultipartForm, HeaderParametersAreFoundByNameAnywhereInTheValue) {
  const char* value = "form-data; filename=\"x;name=y\"; Name = \"q\\\\r\" ; flag; size=3";
  EXPECT_EQ(headerParameter(value, "name").value_or("?"), "q\\r");
  EXPECT_EQ(headerParameter(value, "FILENAME").value_or("?"), "x;name=y");
  EXPECT_EQ(headerParameter(value, "size").value_or("?"), "3");
  EXPECT_FALSE(headerParameter(value, "flag"));
  EXPECT_FALSE(headerParameter("name=\"a\"", "name")) << "the first item is the value, not a parameter";
}

}  // namespace
}  // namespace kit::test
