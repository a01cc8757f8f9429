// kit::Font: the platform's font. Every font is drawn with the bundled
// CJK-capable face chosen by kit's own fontconfig file, so text measures the
// same on every machine; the system, bold and weighted fonts differ in
// weight (bold is synthesised when the face has none), named fonts keep
// their name for those who read it. Metrics come from Pango.
#pragma once

#include <string>

#include "kit/foundation/object.h"

namespace kit {

// The platform's weight scale.
namespace FontWeight {
inline constexpr double UltraLight = -0.8;
inline constexpr double Thin = -0.6;
inline constexpr double Light = -0.4;
inline constexpr double Regular = 0;
inline constexpr double Medium = 0.23;
inline constexpr double Semibold = 0.3;
inline constexpr double Bold = 0.4;
inline constexpr double Heavy = 0.56;
inline constexpr double Black = 0.62;
}  // namespace FontWeight

// The platform's text styles for preferred fonts.
inline constexpr const char* TextStyleBody = "UICTFontTextStyleBody";
inline constexpr const char* TextStyleSubheadline = "UICTFontTextStyleSubhead";
inline constexpr const char* TextStyleHeadline = "UICTFontTextStyleHeadline";
inline constexpr const char* TextStyleFootnote = "UICTFontTextStyleFootnote";
inline constexpr const char* TextStyleCaption1 = "UICTFontTextStyleCaption1";

class Font : public Object {
 public:
  static Ref<Font> systemFont(double size, double weight = FontWeight::Regular);
  static Ref<Font> boldSystemFont(double size) { return systemFont(size, FontWeight::Bold); }
  // A font by name ("Helvetica Neue", "PingFangSC-Regular", ...): drawn with
  // the bundled face; a name ending in "Bold" or "-Medium"/"-Semibold" picks
  // that weight. Nil for an empty name or a size below zero.
  static Ref<Font> named(const std::string& name, double size);
  // The body size for a text style (subheadline 15, body 17, ...).
  static Ref<Font> preferredFont(const std::string& textStyle);
  // The platform's default label font size.
  static constexpr double LabelFontSize = 17;
  static constexpr double SystemFontSize = 14;

  const std::string& fontName() const { return name_; }
  const std::string& familyName() const { return family_; }
  double pointSize() const { return size_; }
  double weight() const { return weight_; }
  bool isBold() const { return weight_ >= FontWeight::Semibold; }
  Ref<Font> withSize(double size) const;

  // Metrics in points.
  double ascender() const;
  double descender() const;  // negative, as on the platform
  double lineHeight() const;
  double leading() const { return 0; }
  double capHeight() const;
  double xHeight() const;

  // The Pango description text ("WenQuanYi Micro Hei Bold 18px").
  std::string pangoDescription() const;

  std::string description() const override;
  bool isEqual(const Object& other) const override;
  size_t hash() const override;
  Id copy() const override { return self(); }

  // Use the factories; public for make.
  Font(std::string name, std::string family, double size, double weight)
      : name_(std::move(name)), family_(std::move(family)), size_(size), weight_(weight) {}

 private:
  struct Metrics {
    double ascent = 0, descent = 0, height = 0;
  };
  const Metrics& metrics() const;
  std::string name_, family_;
  double size_, weight_;
  mutable bool metricsKnown_ = false;
  mutable Metrics metrics_;
};

}  // namespace kit
