// Attributed text: runs of attributes over UTF-16 ranges.
#include "kit/ui/attributed_string.h"

#include <algorithm>

namespace kit {

Id ParagraphStyle::copy() const {
  auto p = ParagraphStyle::make();
  p->lineSpacing = lineSpacing;
  p->paragraphSpacing = paragraphSpacing;
  p->firstLineHeadIndent = firstLineHeadIndent;
  p->headIndent = headIndent;
  p->minimumLineHeight = minimumLineHeight;
  p->maximumLineHeight = maximumLineHeight;
  p->alignment = alignment;
  p->lineBreakMode = lineBreakMode;
  return p;
}

TextAttributes TextAttributes::merged(const TextAttributes& over) const {
  TextAttributes r = *this;
  if (over.font) r.font = over.font;
  if (over.foregroundColor) r.foregroundColor = over.foregroundColor;
  if (over.backgroundColor) r.backgroundColor = over.backgroundColor;
  if (over.strikethroughStyle) r.strikethroughStyle = over.strikethroughStyle;
  if (over.strikethroughColor) r.strikethroughColor = over.strikethroughColor;
  if (over.underlineStyle) r.underlineStyle = over.underlineStyle;
  if (over.underlineColor) r.underlineColor = over.underlineColor;
  if (!over.link.empty()) r.link = over.link;
  if (over.paragraphStyle) r.paragraphStyle = over.paragraphStyle;
  if (over.kern) r.kern = over.kern;
  return r;
}

bool TextAttributes::operator==(const TextAttributes& o) const {
  auto same = [](const Ref<Object>& a, const Ref<Object>& b) { return a == b || (a && b && a->isEqual(*b)); };
  return same(font, o.font) && same(foregroundColor, o.foregroundColor) && same(backgroundColor, o.backgroundColor) &&
         strikethroughStyle == o.strikethroughStyle && same(strikethroughColor, o.strikethroughColor) &&
         underlineStyle == o.underlineStyle && same(underlineColor, o.underlineColor) && link == o.link &&
         paragraphStyle == o.paragraphStyle && kern == o.kern;
}

Ref<AttributedString> AttributedString::make(std::string_view text, const TextAttributes& attributes) {
  return kit::make<AttributedString>(std::string(text), attributes);
}

AttributedString::AttributedString(std::string text, const TextAttributes& attributes) : text_(std::move(text)) {
  length_ = utf8ToUTF16(text_).size();
  if (length_ > 0) runs_.push_back({{0, length_}, attributes});
}

TextAttributes AttributedString::attributesAt(size_t index, Range* effectiveRange) const {
  for (const auto& run : runs_) {
    if (index >= run.range.location && index < run.range.end()) {
      if (effectiveRange) *effectiveRange = run.range;
      return run.attributes;
    }
  }
  if (effectiveRange) *effectiveRange = {index, 0};
  return {};
}

namespace {
// Splits the runs so that `at` is a run boundary.
void splitAt(std::vector<AttributedString::Run>& runs, size_t at) {
  for (size_t i = 0; i < runs.size(); ++i) {
    Range r = runs[i].range;
    if (at > r.location && at < r.end()) {
      AttributedString::Run tail = runs[i];
      tail.range = {at, r.end() - at};
      runs[i].range.length = at - r.location;
      runs.insert(runs.begin() + static_cast<long>(i) + 1, tail);
      return;
    }
  }
}
}  // namespace

void AttributedString::normalize() {
  std::vector<Run> merged;
  for (auto& run : runs_) {
    if (run.range.length == 0) continue;
    if (!merged.empty() && merged.back().attributes == run.attributes &&
        merged.back().range.end() == run.range.location) {
      merged.back().range.length += run.range.length;
    } else {
      merged.push_back(run);
    }
  }
  runs_ = std::move(merged);
}

void AttributedString::addAttributes(const TextAttributes& attributes, Range range) {
  if (range.end() > length_) range.length = length_ > range.location ? length_ - range.location : 0;
  if (range.length == 0) return;
  splitAt(runs_, range.location);
  splitAt(runs_, range.end());
  for (auto& run : runs_)
    if (run.range.location >= range.location && run.range.end() <= range.end())
      run.attributes = run.attributes.merged(attributes);
  normalize();
}

void AttributedString::setAttributes(const TextAttributes& attributes, Range range) {
  if (range.end() > length_) range.length = length_ > range.location ? length_ - range.location : 0;
  if (range.length == 0) return;
  splitAt(runs_, range.location);
  splitAt(runs_, range.end());
  for (auto& run : runs_)
    if (run.range.location >= range.location && run.range.end() <= range.end()) run.attributes = attributes;
  normalize();
}

size_t AttributedString::byteOffset(size_t utf16Index) const {
  size_t units = 0, pos = 0;
  while (pos < text_.size() && units < utf16Index) {
    const char32_t cp = decodeCodePoint(text_, pos);
    units += cp >= 0x10000 ? 2 : 1;
  }
  return pos;
}

void AttributedString::replaceCharacters(Range range, std::string_view text) {
  range.location = std::min(range.location, length_);
  range.length = std::min(range.length, length_ - range.location);
  const TextAttributes inherited = attributesAt(range.location > 0 && range.length == 0 ? range.location - 1
                                                                                           : range.location);
  const size_t b0 = byteOffset(range.location), b1 = byteOffset(range.end());
  text_.replace(b0, b1 - b0, text);
  const size_t added = utf8ToUTF16(text).size();
  splitAt(runs_, range.location);
  splitAt(runs_, range.end());
  std::vector<Run> out;
  for (auto& run : runs_) {
    if (run.range.end() <= range.location) {
      out.push_back(run);
    } else if (run.range.location >= range.end()) {
      run.range.location = run.range.location - range.length + added;
      out.push_back(run);
    }
  }
  if (added > 0) {
    Run inserted{{range.location, added}, inherited};
    auto pos = std::find_if(out.begin(), out.end(), [&](const Run& r) { return r.range.location > range.location; });
    out.insert(pos, inserted);
  }
  runs_ = std::move(out);
  length_ = length_ - range.length + added;
  normalize();
}

void AttributedString::append(const AttributedString& other) {
  const size_t base = length_;
  text_ += other.text_;
  for (Run run : other.runs_) {
    run.range.location += base;
    runs_.push_back(run);
  }
  length_ += other.length_;
  normalize();
}

Id AttributedString::copy() const {
  auto c = kit::make<AttributedString>(text_, TextAttributes{});
  c->runs_ = runs_;
  c->length_ = length_;
  return c;
}

}  // namespace kit
