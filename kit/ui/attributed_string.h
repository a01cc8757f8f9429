// kit::AttributedString: text with attributes over ranges (font, colours,
// strikethrough and underline, links, paragraph style, kerning). Ranges are
// counted in UTF-16 units, as the platform counts them. Labels and text
// measurement take it; plain text is an attributed string with one run.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "kit/foundation/object.h"
#include "kit/foundation/string.h"
#include "kit/graphics/color.h"
#include "kit/ui/font.h"
#include "kit/ui/ui_types.h"

namespace kit {

class ParagraphStyle : public Object {
 public:
  static Ref<ParagraphStyle> make() { return kit::make<ParagraphStyle>(); }
  double lineSpacing = 0;
  double paragraphSpacing = 0;
  double firstLineHeadIndent = 0;
  double headIndent = 0;
  double minimumLineHeight = 0;
  double maximumLineHeight = 0;
  TextAlignment alignment = TextAlignment::Natural;
  LineBreakMode lineBreakMode = LineBreakMode::ByWordWrapping;
  Id copy() const override;
};

// Values of the strikethrough and underline attributes.
enum UnderlineStyle : int { UnderlineStyleNone = 0, UnderlineStyleSingle = 1, UnderlineStyleThick = 2,
                            UnderlineStyleDouble = 9 };

// The attributes of one run; unset ones fall back to the drawer's defaults.
struct TextAttributes {
  Ref<Font> font;
  Ref<Color> foregroundColor;
  Ref<Color> backgroundColor;
  int strikethroughStyle = UnderlineStyleNone;
  Ref<Color> strikethroughColor;
  int underlineStyle = UnderlineStyleNone;
  Ref<Color> underlineColor;
  std::string link;  // empty: no link
  Ref<ParagraphStyle> paragraphStyle;
  std::optional<double> kern;

  // The attributes of `over` laid on top of these.
  TextAttributes merged(const TextAttributes& over) const;
  bool operator==(const TextAttributes& other) const;
};

class AttributedString : public Object {
 public:
  struct Run {
    Range range;  // UTF-16 units
    TextAttributes attributes;
  };

  static Ref<AttributedString> make(std::string_view text, const TextAttributes& attributes = {});

  const std::string& string() const { return text_; }
  size_t length() const { return length_; }
  const std::vector<Run>& runs() const { return runs_; }
  // The attributes at a UTF-16 index, and the run's range.
  TextAttributes attributesAt(size_t index, Range* effectiveRange = nullptr) const;

  // Editing (the platform's mutable attributed string).
  void addAttributes(const TextAttributes& attributes, Range range);
  void setAttributes(const TextAttributes& attributes, Range range);
  void replaceCharacters(Range range, std::string_view text);
  void append(const AttributedString& other);

  Id copy() const override;
  std::string description() const override { return text_; }

  // UTF-16 index to byte offset in the UTF-8 text (clamped to the end).
  size_t byteOffset(size_t utf16Index) const;

  // Use make; public for make.
  AttributedString(std::string text, const TextAttributes& attributes);

 private:
  void normalize();
  std::string text_;
  size_t length_ = 0;
  std::vector<Run> runs_;
};

}  // namespace kit
