// Header fields, response-head parsing, requests and responses.
#include <gtest/gtest.h>

#include "kit/foundation/format.h"
#include "kit/net/http_header_fields.h"
#include "kit/net/url_request.h"
#include "kit/net/url_response.h"

namespace kit {
namespace {

TEST(HTTPHeaderFields, LookupIgnoresCaseAndSetReplacesInPlace) {
  HTTPHeaderFields fields;
  fields.set("Content-Type", "text/plain");
  fields.set("X-A", "1");
  fields.set("content-type", "application/json");
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields.entries()[0].first, "Content-Type") << "the first spelling keeps its place";
  EXPECT_EQ(fields.value("CONTENT-TYPE"), "application/json");
  fields.add("x-a", "2");
  EXPECT_EQ(fields.value("X-A"), "1,2");
  fields.remove("X-a");
  EXPECT_FALSE(fields.contains("x-a"));
  auto dict = fields.dictionary();
  EXPECT_EQ(describe(dict->objectForKey(std::string_view("Content-Type"))), "application/json");
}

TEST(ResponseHead, ParsesTheLastBlockAfterInformationalOnes) {
  ResponseHeadParser parser;
  EXPECT_FALSE(parser.feedLine("HTTP/1.1 100 Continue\r\n"));
  EXPECT_TRUE(parser.feedLine("\r\n"));
  EXPECT_FALSE(parser.complete()) << "an informational block is not the response";
  for (const char* line : {"HTTP/1.1 404 Not Found\r\n", "Content-Type: text/html; charset=\"UTF-8\"\r\n",
                           "X-Long: one\r\n", "  two\r\n", "Set-Cookie: a=1\r\n", "Set-Cookie: b=2\r\n", "bad line\r\n"}) {
    EXPECT_FALSE(parser.feedLine(line));
  }
  EXPECT_FALSE(parser.complete());
  EXPECT_TRUE(parser.feedLine("\r\n"));
  ASSERT_TRUE(parser.complete());
  EXPECT_EQ(parser.status()->statusCode, 404);
  EXPECT_EQ(parser.status()->version, "HTTP/1.1");
  EXPECT_EQ(parser.fields().value("x-long"), "one two");
  EXPECT_EQ(parser.fields().value("set-cookie"), "a=1,b=2");
  EXPECT_EQ(parser.fields().size(), 3u);
}

TEST(ResponseHead, RejectsMalformedStatusLinesAndHeaderNames) {
  EXPECT_FALSE(parseStatusLine("HTTP/1.1 20 OK"));
  EXPECT_FALSE(parseStatusLine("HTTP/1.1 2000 OK"));
  EXPECT_FALSE(parseStatusLine("ICY 200 OK"));
  EXPECT_EQ(parseStatusLine("HTTP/2 204")->statusCode, 204);
  EXPECT_FALSE(parseHeaderLine(": no name"));
  EXPECT_FALSE(parseHeaderLine("Bad Name: x"));
  EXPECT_EQ(parseHeaderLine("Name:   spaced value  \r\n")->second, "spaced value");
  ResponseHeadParser parser;
  EXPECT_FALSE(parser.feedLine("Header-Before-Status: x\r\n"));
  EXPECT_FALSE(parser.feedLine("\r\n"));
  EXPECT_FALSE(parser.complete());
}

TEST(ContentType, MIMETypeAndCharsetAreLowerCased) {
  auto t = parseContentType("Text/HTML; Charset=\"UTF-8\"; q=1");
  EXPECT_EQ(t.mimeType, "text/html");
  EXPECT_EQ(t.charset, "utf-8");
  EXPECT_EQ(parseContentType("garbage").mimeType, "");
  EXPECT_EQ(parseContentType("/x").mimeType, "");
  EXPECT_EQ(parseContentType("application/json").charset, "");
  EXPECT_EQ(parseContentLength(" 42 "), 42);
  EXPECT_FALSE(parseContentLength("-1"));
  EXPECT_FALSE(parseContentLength("99999999999999999999"));
  EXPECT_EQ(parseContentLength("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(parseContentLength("007"), 7);
  EXPECT_EQ(parseContentLength("5, 5,5"), 5) << "one length repeated is that length";
  for (const char* bad : {"9223372036854775808", "5,7", "5,", ",5", "1e3", "0x3", "+3", "", " "}) {
    EXPECT_FALSE(parseContentLength(bad)) << bad;
  }
  EXPECT_EQ(dispositionFilename("attachment; filename=\"../../etc/passwd\""), "passwd");
  EXPECT_EQ(dispositionFilename("attachment; filename=report.pdf"), "report.pdf");
  EXPECT_EQ(dispositionFilename("inline"), "");
}

TEST(HTTPURLResponse, ReadsTypeLengthAndStatusPhrases) {
  HTTPHeaderFields fields;
  fields.set("content-type", "application/JSON; charset=utf-8");
  fields.set("Content-Length", "17");
  auto response = HTTPURLResponse::make(URL::URLWithString("http://h/a/b.json"), 200, "HTTP/1.1", fields);
  ASSERT_TRUE(response);
  EXPECT_EQ(describe(response->MIMEType()), "application/json");
  EXPECT_EQ(describe(response->textEncodingName()), "utf-8");
  EXPECT_EQ(response->expectedContentLength(), 17);
  EXPECT_EQ(describe(response->valueForHTTPHeaderField("CONTENT-LENGTH")), "17");
  EXPECT_EQ(describe(response->suggestedFilename()), "b.json");
  EXPECT_FALSE(HTTPURLResponse::make(URL::URLWithString("http://h/"), 99, "HTTP/1.1", {}));
  auto bare = HTTPURLResponse::make(URL::URLWithString("http://h/"), 204, "HTTP/1.1", {});
  EXPECT_FALSE(bare->MIMEType());
  EXPECT_EQ(bare->expectedContentLength(), URLResponseUnknownLength);
  EXPECT_EQ(HTTPURLResponse::localizedStringForStatusCode(404), "not found");
  EXPECT_EQ(HTTPURLResponse::localizedStringForStatusCode(200), "no error");
  EXPECT_EQ(HTTPURLResponse::localizedStringForStatusCode(500), "internal server error");
  EXPECT_EQ(HTTPURLResponse::localizedStringForStatusCode(299), "success");
  EXPECT_EQ(HTTPURLResponse::localizedStringForStatusCode(451), "client error");
  EXPECT_EQ(HTTPURLResponse::localizedStringForStatusCode(999), "server error");
}

TEST(URLRequest, DefaultsCopiesAndBodies) {
  auto url = URL::URLWithString("http://example.test/p");
  auto request = MutableURLRequest::make(url);
  EXPECT_EQ(request->HTTPMethod(), "GET");
  EXPECT_EQ(request->timeoutInterval(), 60.0);
  EXPECT_EQ(request->cachePolicy(), URLRequestCachePolicy::UseProtocolCachePolicy);
  EXPECT_TRUE(request->HTTPShouldHandleCookies());
  EXPECT_FALSE(request->HTTPShouldUsePipelining());
  request->setHTTPMethod("");
  EXPECT_EQ(request->HTTPMethod(), "GET") << "an empty method is ignored";
  request->setHTTPMethod("POST");
  request->setValue("a", "X-One");
  request->setValueForHTTPHeaderField(nullptr, "x-one");
  EXPECT_FALSE(request->valueForHTTPHeaderField("X-One"));
  auto body = MutableData::make();
  body->appendString("abc");
  request->setHTTPBody(body);
  body->appendString("def");
  EXPECT_EQ(request->HTTPBody()->toString(), "abc") << "the body is copied";
  auto frozen = std::static_pointer_cast<URLRequest>(request->copy());
  request->setHTTPMethod("PUT");
  EXPECT_EQ(frozen->HTTPMethod(), "POST");
  EXPECT_FALSE(isKind<MutableURLRequest>(frozen));
  auto thawed = std::static_pointer_cast<MutableURLRequest>(frozen->mutableCopy());
  EXPECT_TRUE(frozen->isEqual(*thawed));
  EXPECT_EQ(frozen->copy(), frozen) << "an immutable request copies to itself";
}

}  // namespace
}  // namespace kit
