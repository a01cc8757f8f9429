// The HTML reading helpers on pages as servers send them: titles with
// entities, odd case and white space, titles hidden in comments or
// scripts, visible text, declared charsets, and pages in other encodings.

#include <gtest/gtest.h>

#include "kit/foundation/data.h"
#include "kit/web/html_text.h"

namespace {

TEST(HTMLText, TitleIsTheFirstRealTitleDecodedAndCollapsed) {
  EXPECT_EQ(kit::htmlTitle("<html><head><title>充值中心</title></head></html>"), "充值中心");
  EXPECT_EQ(kit::htmlTitle("<TITLE lang=\"zh\">\n  游戏 &amp; 公告\t\n</TiTlE>"), "游戏 & 公告");
  EXPECT_EQ(kit::htmlTitle("<title>&#20320;&#x597D;&lt;b&gt; &quot;x&quot; &nbsp;</title>"), "你好<b> \"x\" \u00A0");
  EXPECT_EQ(kit::htmlTitle("<!-- <title>old</title> --><script>var t='<title>no</title>';</script><title>yes</title>"),
            "yes");
  EXPECT_EQ(kit::htmlTitle("<titles>no</titles><title>a<b>c</title>"), "a<b>c") << "title text is raw";
  EXPECT_EQ(kit::htmlTitle("<p>no title here</p>"), "");
  EXPECT_EQ(kit::htmlTitle("<title>unclosed"), "unclosed");
  EXPECT_EQ(kit::htmlTitle("<title></title>"), "");
  EXPECT_EQ(kit::htmlTitle(std::string_view("<title>a\0b</title>", 18)), std::string("a\0b", 3));
  // Unknown or broken references stay as written; impossible code points are replaced.
  EXPECT_EQ(kit::decodeHTMLEntities("&bogus; &amp &#xD800; &#0; &#99999999;"), "&bogus; &amp \uFFFD \uFFFD \uFFFD");
}

TEST(HTMLText, VisibleTextLeavesOutTagsScriptsAndTheTitle) {
  const std::string page =
      "<html><head><title>T</title><style>p{color:red}</style></head>"
      "<body><h1>公告</h1><p>第一段  内容</p><script>alert('x')</script><div>second<br>line</div>"
      "<!-- hidden --></body></html>";
  EXPECT_EQ(kit::htmlVisibleText(page), "公告\n第一段 内容\nsecond\nline");
  EXPECT_EQ(kit::htmlVisibleText("<p>一二三四五</p>", 7), "一二") << "cut at a character boundary";
}

TEST(HTMLText, ElementsKeepTheirAttributesInOrder) {
  const auto elements = kit::htmlElements(
      "<!-- <meta name=hidden> --><META Name=\"viewport\" CONTENT='width=device-width, a&amp;b'>"
      "<script>var t = '<p id=no>';</script><p id=note class=tip hidden id=again>x</p><br/><a href=\"/a?x>1\">");
  ASSERT_EQ(elements.size(), 5u);
  EXPECT_EQ(elements[0].name, "meta");
  EXPECT_EQ(elements[0].attributes, (std::vector<std::pair<std::string, std::string>>{
                                        {"name", "viewport"}, {"content", "width=device-width, a&b"}}));
  EXPECT_EQ(elements[1].name, "script");
  EXPECT_TRUE(elements[1].attributes.empty()) << "no element is read inside a script";
  EXPECT_EQ(elements[2].attributes, (std::vector<std::pair<std::string, std::string>>{
                                        {"id", "note"}, {"class", "tip"}, {"hidden", ""}}))
      << "a repeated attribute keeps its first value";
  EXPECT_EQ(elements[3].name, "br");
  EXPECT_EQ(elements[4].attributes[0].second, "/a?x>1");
  EXPECT_EQ(kit::htmlElements("<p><p><p>", 2).size(), 2u);
  EXPECT_TRUE(kit::htmlElements("<p id='unclosed").front().attributes.front().second == "unclosed");
}

TEST(HTMLText, CharsetsAreFoundAndPagesDecodedInThem) {
  EXPECT_EQ(kit::htmlDeclaredCharset("<meta charset=\"GBK\">"), "gbk");
  EXPECT_EQ(kit::htmlDeclaredCharset(
                "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"),
            "gb2312");
  EXPECT_EQ(kit::htmlDeclaredCharset("<meta name=viewport content=\"width=device-width\">"), "");
  // "游戏" in GB 18030, declared by the page, then by the response header.
  const std::string gbk = "<meta charset=gbk><title>\xD3\xCE\xCF\xB7</title>";
  EXPECT_EQ(kit::htmlTitle(kit::htmlDocumentText(*kit::Data::make(gbk), "")), "游戏");
  EXPECT_EQ(kit::htmlTitle(kit::htmlDocumentText(*kit::Data::make("<title>\xD3\xCE\xCF\xB7</title>"), "GB2312")),
            "游戏");
  // Bytes that are not UTF-8 are kept (as Latin-1) rather than dropped.
  EXPECT_EQ(kit::htmlDocumentText(*kit::Data::make("caf\xE9"), ""), "caf\u00E9");
  EXPECT_EQ(kit::htmlDocumentText(*kit::Data::make("\xEF\xBB\xBFhi"), ""), "hi");
}

}  // namespace
