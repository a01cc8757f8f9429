// Fonts: names, weights and metrics from the text engine.
#include "kit/ui/font.h"

#include <cmath>
#include <cstdio>
#include <functional>

#include "kit/ui/text_engine.h"

namespace kit {

Ref<Font> Font::systemFont(double size, double weight) {
  return kit::make<Font>(weight >= FontWeight::Semibold ? ".SFUI-Semibold" : ".SFUI-Regular", ".SF UI Text",
                         std::max(0.0, size), weight);
}

Ref<Font> Font::named(const std::string& name, double size) {
  if (name.empty() || size < 0) return nullptr;
  double weight = FontWeight::Regular;
  auto has = [&](const char* part) { return name.find(part) != std::string::npos; };
  if (has("Bold") || has("Heavy") || has("Black")) weight = FontWeight::Bold;
  else if (has("Semibold")) weight = FontWeight::Semibold;
  else if (has("Medium")) weight = FontWeight::Medium;
  else if (has("Light")) weight = FontWeight::Light;
  std::string family = name;
  if (auto dash = family.find('-'); dash != std::string::npos) family = family.substr(0, dash);
  return kit::make<Font>(name, family, size, weight);
}

Ref<Font> Font::preferredFont(const std::string& textStyle) {
  double size = 17;
  if (textStyle == TextStyleSubheadline) size = 15;
  else if (textStyle == TextStyleFootnote) size = 13;
  else if (textStyle == TextStyleCaption1) size = 12;
  Ref<Font> f = systemFont(size, textStyle == TextStyleHeadline ? FontWeight::Semibold : FontWeight::Regular);
  return f;
}

Ref<Font> Font::withSize(double size) const { return kit::make<Font>(name_, family_, size, weight_); }

const Font::Metrics& Font::metrics() const {
  if (!metricsKnown_) {
    const auto m = TextEngine::shared().metrics(*this);
    metrics_ = {m.ascent, m.descent, m.ascent + m.descent};
    metricsKnown_ = true;
  }
  return metrics_;
}

double Font::ascender() const { return metrics().ascent; }
double Font::descender() const { return -metrics().descent; }
double Font::lineHeight() const { return metrics().height; }
double Font::capHeight() const { return metrics().ascent * 0.7; }
double Font::xHeight() const { return metrics().ascent * 0.5; }

std::string Font::pangoDescription() const {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "%s%s %gpx", TextEngine::family(), isBold() ? " Bold" : "", size_);
  return buffer;
}

std::string Font::description() const {
  char buffer[200];
  std::snprintf(buffer, sizeof buffer, "<Font: font-family: \"%s\"; font-weight: %s; font-size: %.2fpt>",
                family_.c_str(), isBold() ? "bold" : "normal", size_);
  return buffer;
}

bool Font::isEqual(const Object& other) const {
  auto o = dynamic_cast<const Font*>(&other);
  return o && o->name_ == name_ && o->size_ == size_ && o->weight_ == weight_;
}

size_t Font::hash() const { return std::hash<std::string>()(name_) ^ std::hash<double>()(size_); }

}  // namespace kit
