// Reading the few things kit needs from an HTML page without a browser
// engine: its title, the text a reader sees, its elements' attributes, the
// character set it declares, and the page's bytes as text. Pages come from outside, so
// every function takes any bytes: unclosed tags, comments and elements end
// at the end of the input, and nothing is read beyond it.
//
//   kit::htmlTitle("<title> 游戏 &amp; 公告 </title>")   // "游戏 & 公告"
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kit/foundation/data.h"

namespace kit {

// The text of the document's first <title> element outside comments,
// scripts and styles: character references decoded, runs of white space
// made one space, leading and trailing space removed; empty when there is
// none.
std::string htmlTitle(std::string_view html);

// The text outside tags, without the head's title, scripts, styles and
// comments, references decoded and white space collapsed; block elements
// (paragraphs, divisions, line breaks, list items, headings, rows) end
// lines. At most `limit` bytes (cut at a character boundary).
std::string htmlVisibleText(std::string_view html, size_t limit = 4096);

// An element as its start tag gives it: the tag's name and its attributes,
// names in lower case, values with references decoded; an attribute given
// twice keeps its first value, as browsers keep it.
struct HTMLElement {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
};

// The elements of the document in order (their start tags outside comments
// and raw text), at most `limit` of them.
std::vector<HTMLElement> htmlElements(std::string_view html, size_t limit = 4096);

// The charset a <meta charset="..."> or <meta http-equiv="Content-Type"
// content="...; charset=..."> in the first 1024 bytes declares, in lower
// case; empty when none.
std::string htmlDeclaredCharset(std::string_view html);

// Decodes character references: the common named ones (&amp; &lt; &gt;
// &quot; &apos; &nbsp; and a few more) and numeric ones (&#20320; &#x4f60;).
// Unknown names stay as written; code points that cannot be characters
// become U+FFFD.
std::string decodeHTMLEntities(std::string_view text);

// The page's bytes as UTF-8 text, read in the charset of the response
// (`headerCharset`, may be empty), else the one the page declares, else
// UTF-8; GBK and GB2312 are read as GB 18030. Bytes that are not valid in
// that charset are read as Latin-1 rather than lost.
std::string htmlDocumentText(const Data& bytes, std::string_view headerCharset);

}  // namespace kit
