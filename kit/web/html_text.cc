// A small HTML scanner: tags, comments and raw-text elements, enough to
// read a title, the visible text and a declared charset.
#include "kit/web/html_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "kit/foundation/string.h"
#include "kit/foundation/string_encoding.h"

namespace kit {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAlnum(char c) { return isAlpha(c) || (c >= '0' && c <= '9'); }

bool startsWithNoCase(std::string_view text, size_t at, std::string_view prefix) {
  if (at > text.size() || text.size() - at < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (lower(text[at + i]) != prefix[i]) return false;
  return true;
}

// The first case-insensitive occurrence of `needle` (lower case) at or
// after `from`, or npos.
size_t findNoCase(std::string_view text, std::string_view needle, size_t from) {
  if (needle.empty()) return from;
  for (size_t i = from; i + needle.size() <= text.size(); ++i)
    if (startsWithNoCase(text, i, needle)) return i;
  return std::string_view::npos;
}

// A character reference's code point as UTF-8; NUL, surrogates and values
// past Unicode become U+FFFD, as HTML reads them.
void appendUTF8(std::string& out, uint32_t cp) {
  if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
  appendCodePoint(out, static_cast<char32_t>(cp));
}

struct NamedEntity {
  std::string_view name;
  uint32_t codePoint;
};
constexpr std::array<NamedEntity, 16> kEntities{{
    {"amp", '&'},      {"lt", '<'},       {"gt", '>'},         {"quot", '"'},
    {"apos", '\''},    {"nbsp", 0xA0},    {"copy", 0xA9},      {"reg", 0xAE},
    {"middot", 0xB7},  {"times", 0xD7},   {"hellip", 0x2026},  {"mdash", 0x2014},
    {"ndash", 0x2013}, {"laquo", 0xAB},   {"raquo", 0xBB},     {"yen", 0xA5},
}};

// A tag at `at` (just after '<'): its lower-case name, whether it closes,
// and where it ends (after '>', or the end of the input). Quoted
// attribute values may hold '>'.
struct Tag {
  std::string name;
  bool closing = false;
  size_t end = 0;
  size_t attributesStart = 0, attributesEnd = 0;
};

Tag readTag(std::string_view html, size_t at) {
  Tag tag;
  size_t i = at;
  if (i < html.size() && html[i] == '/') {
    tag.closing = true;
    ++i;
  }
  while (i < html.size() && (isAlnum(html[i]) || html[i] == '-' || html[i] == ':')) tag.name += lower(html[i++]);
  tag.attributesStart = i;
  char quote = 0;
  while (i < html.size()) {
    const char c = html[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      break;
    }
    ++i;
  }
  tag.attributesEnd = i;
  tag.end = i < html.size() ? i + 1 : html.size();
  return tag;
}

// The end of a raw-text element's content (its closing tag's '<') and the
// position after the closing tag.
std::pair<size_t, size_t> rawTextEnd(std::string_view html, size_t from, const std::string& name) {
  const std::string closing = "</" + name;
  for (size_t at = findNoCase(html, closing, from); at != std::string_view::npos;
       at = findNoCase(html, closing, at + 1)) {
    const size_t after = at + closing.size();
    if (after >= html.size() || isSpace(html[after]) || html[after] == '>' || html[after] == '/') {
      const Tag tag = readTag(html, at + 1);
      return {at, tag.end};
    }
  }
  return {html.size(), html.size()};
}

std::string collapseSpace(std::string_view text) {
  std::string out;
  bool pending = false;
  for (char c : text) {
    if (isSpace(c)) {
      pending = !out.empty();
      continue;
    }
    if (pending) out += ' ';
    pending = false;
    out += c;
  }
  return out;
}

// Walks the document: text runs and tags outside comments and raw text.
// `onText` gets the raw text between tags; `onTag` a tag and the raw
// content of raw-text elements (script, style, title, textarea), and may
// stop the walk by answering false.
template <class TextFn, class TagFn>
void walk(std::string_view html, TextFn onText, TagFn onTag) {
  size_t i = 0;
  while (i < html.size()) {
    const size_t lt = html.find('<', i);
    if (lt == std::string_view::npos) {
      onText(html.substr(i));
      return;
    }
    if (lt > i) onText(html.substr(i, lt - i));
    if (html.compare(lt, 4, "<!--") == 0) {
      const size_t close = html.find("-->", lt + 4);
      i = close == std::string_view::npos ? html.size() : close + 3;
      continue;
    }
    if (lt + 1 < html.size() && (html[lt + 1] == '!' || html[lt + 1] == '?')) {
      const size_t close = html.find('>', lt);
      i = close == std::string_view::npos ? html.size() : close + 1;
      continue;
    }
    const bool tagStart = lt + 1 < html.size() && (isAlpha(html[lt + 1]) || html[lt + 1] == '/');
    if (!tagStart) {
      onText(html.substr(lt, 1));
      i = lt + 1;
      continue;
    }
    const Tag tag = readTag(html, lt + 1);
    std::string_view raw;
    size_t next = tag.end;
    if (!tag.closing && (tag.name == "script" || tag.name == "style" || tag.name == "title" ||
                         tag.name == "textarea" || tag.name == "noscript" || tag.name == "template")) {
      const auto [contentEnd, after] = rawTextEnd(html, tag.end, tag.name);
      raw = html.substr(tag.end, contentEnd - tag.end);
      next = after;
    }
    if (!onTag(tag, raw, html)) return;
    i = std::max(next, lt + 1);
  }
}

bool isBlock(const std::string& name) {
  static const std::array<std::string_view, 16> blocks{"p",  "div", "br", "li", "h1", "h2",    "h3", "h4",
                                                       "h5", "h6",  "tr", "ul", "ol", "table", "section", "article"};
  return std::find(blocks.begin(), blocks.end(), name) != blocks.end();
}

// The attributes of a tag's attribute text, names in lower case, values as
// written (references not decoded), in order.
std::vector<std::pair<std::string, std::string>> readAttributes(std::string_view attrs) {
  std::vector<std::pair<std::string, std::string>> out;
  size_t i = 0;
  while (i < attrs.size()) {
    while (i < attrs.size() && (isSpace(attrs[i]) || attrs[i] == '/')) ++i;
    std::string key;
    while (i < attrs.size() && !isSpace(attrs[i]) && attrs[i] != '=' && attrs[i] != '/') key += lower(attrs[i++]);
    while (i < attrs.size() && isSpace(attrs[i])) ++i;
    std::string value;
    if (i < attrs.size() && attrs[i] == '=') {
      ++i;
      while (i < attrs.size() && isSpace(attrs[i])) ++i;
      if (i < attrs.size() && (attrs[i] == '"' || attrs[i] == '\'')) {
        const char quote = attrs[i++];
        while (i < attrs.size() && attrs[i] != quote) value += attrs[i++];
        if (i < attrs.size()) ++i;
      } else {
        while (i < attrs.size() && !isSpace(attrs[i])) value += attrs[i++];
      }
    }
    if (key.empty()) {
      if (i < attrs.size()) ++i;
      continue;
    }
    out.emplace_back(std::move(key), std::move(value));
  }
  return out;
}

// The value of attribute `name` in a tag's attribute text, if present.
std::optional<std::string> attribute(std::string_view attrs, std::string_view name) {
  for (auto& [key, value] : readAttributes(attrs))
    if (key == name) return std::move(value);
  return std::nullopt;
}

std::string charsetFromContentType(std::string_view value) {
  const size_t at = findNoCase(value, "charset", 0);
  if (at == std::string_view::npos) return {};
  size_t i = at + 7;
  while (i < value.size() && isSpace(value[i])) ++i;
  if (i >= value.size() || value[i] != '=') return {};
  ++i;
  while (i < value.size() && (isSpace(value[i]) || value[i] == '"' || value[i] == '\'')) ++i;
  std::string out;
  while (i < value.size() && (isAlnum(value[i]) || value[i] == '-' || value[i] == '_' || value[i] == '.' ||
                              value[i] == ':'))
    out += lower(value[i++]);
  return out;
}

}  // namespace

std::string decodeHTMLEntities(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c != '&') {
      out += c;
      ++i;
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '#') {
      size_t j = i + 2;
      const bool hex = j < text.size() && (text[j] == 'x' || text[j] == 'X');
      if (hex) ++j;
      uint32_t value = 0;
      size_t digits = 0;
      while (j < text.size()) {
        const char d = text[j];
        int v = -1;
        if (d >= '0' && d <= '9') v = d - '0';
        else if (hex && d >= 'a' && d <= 'f') v = d - 'a' + 10;
        else if (hex && d >= 'A' && d <= 'F') v = d - 'A' + 10;
        if (v < 0) break;
        value = std::min<uint32_t>(0x110000, value * (hex ? 16 : 10) + static_cast<uint32_t>(v));
        ++digits;
        ++j;
      }
      if (digits == 0) {
        out += c;
        ++i;
        continue;
      }
      if (j < text.size() && text[j] == ';') ++j;
      appendUTF8(out, value);
      i = j;
      continue;
    }
    size_t j = i + 1;
    while (j < text.size() && isAlnum(text[j]) && j - i <= 10) ++j;
    const std::string_view name = text.substr(i + 1, j - i - 1);
    if (j < text.size() && text[j] == ';') {
      auto it = std::find_if(kEntities.begin(), kEntities.end(), [&](const NamedEntity& e) { return e.name == name; });
      if (it != kEntities.end()) {
        appendUTF8(out, it->codePoint);
        i = j + 1;
        continue;
      }
    }
    out += c;
    ++i;
  }
  return out;
}

std::string htmlTitle(std::string_view html) {
  std::string title;
  bool found = false;
  walk(
      html, [](std::string_view) {},
      [&](const Tag& tag, std::string_view raw, std::string_view) {
        if (tag.closing || tag.name != "title") return true;
        title = collapseSpace(decodeHTMLEntities(raw));
        found = true;
        return false;
      });
  return found ? title : std::string();
}

std::string htmlVisibleText(std::string_view html, size_t limit) {
  std::string text;
  bool stop = false;
  auto add = [&](std::string_view piece) {
    if (stop) return;
    text += piece;
    if (text.size() > limit * 2 + 64) stop = true;
  };
  walk(
      html, [&](std::string_view run) { add(run); },
      [&](const Tag& tag, std::string_view, std::string_view) {
        if (isBlock(tag.name)) add("\n");
        return !stop;
      });
  // Collapse white space within lines; drop empty lines.
  const std::string decoded = decodeHTMLEntities(text);
  std::string out;
  size_t start = 0;
  while (start <= decoded.size()) {
    size_t end = decoded.find('\n', start);
    if (end == std::string::npos) end = decoded.size();
    const std::string line = collapseSpace(std::string_view(decoded).substr(start, end - start));
    if (!line.empty()) {
      if (!out.empty()) out += '\n';
      out += line;
    }
    start = end + 1;
  }
  if (out.size() > limit) {
    size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
  }
  return out;
}

std::string htmlDeclaredCharset(std::string_view html) {
  const std::string_view head = html.substr(0, std::min<size_t>(html.size(), 1024));
  std::string charset;
  walk(
      head, [](std::string_view) {},
      [&](const Tag& tag, std::string_view, std::string_view doc) {
        if (tag.closing || tag.name != "meta") return true;
        const std::string_view attrs = doc.substr(tag.attributesStart, tag.attributesEnd - tag.attributesStart);
        if (auto value = attribute(attrs, "charset")) {
          for (char c : *value)
            if (!isSpace(c)) charset += lower(c);
          return charset.empty();
        }
        auto equiv = attribute(attrs, "http-equiv");
        if (equiv && collapseSpace(*equiv).size() == 12 && startsWithNoCase(collapseSpace(*equiv), 0, "content-type")) {
          if (auto content = attribute(attrs, "content")) charset = charsetFromContentType(*content);
        }
        return charset.empty();
      });
  return charset;
}

std::vector<HTMLElement> htmlElements(std::string_view html, size_t limit) {
  std::vector<HTMLElement> elements;
  walk(
      html, [](std::string_view) {},
      [&](const Tag& tag, std::string_view, std::string_view doc) {
        if (tag.closing || tag.name.empty()) return true;
        if (elements.size() >= limit) return false;
        HTMLElement element{tag.name, {}};
        for (auto& attribute :
             readAttributes(doc.substr(tag.attributesStart, tag.attributesEnd - tag.attributesStart))) {
          const bool repeated = std::any_of(element.attributes.begin(), element.attributes.end(),
                                            [&](const auto& a) { return a.first == attribute.first; });
          if (!repeated)
            element.attributes.emplace_back(std::move(attribute.first), decodeHTMLEntities(attribute.second));
        }
        elements.push_back(std::move(element));
        return true;
      });
  return elements;
}

std::string htmlDocumentText(const Data& bytes, std::string_view headerCharset) {
  std::string charset;
  for (char c : headerCharset) charset += lower(c);
  if (charset.empty()) charset = htmlDeclaredCharset(bytes.view());
  StringEncoding encoding = StringEncoding::UTF8;
  if (charset == "gbk" || charset == "gb2312" || charset == "gb18030" || charset == "x-gbk")
    encoding = StringEncoding::GB18030;
  else if (charset == "iso-8859-1" || charset == "latin1" || charset == "windows-1252" || charset == "us-ascii")
    encoding = StringEncoding::ISOLatin1;
  else if (charset == "utf-16" || charset == "utf-16le")
    encoding = StringEncoding::UTF16LittleEndian;
  else if (charset == "utf-16be")
    encoding = StringEncoding::UTF16BigEndian;
  std::string_view view = bytes.view();
  if (encoding == StringEncoding::UTF8 && view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
  if (auto text = stringWithBytes(view, encoding)) return text->utf8();
  if (auto latin = stringWithBytes(view, StringEncoding::ISOLatin1)) return latin->utf8();
  return {};
}

}  // namespace kit
