// Pango layouts over kit's own fontconfig configuration.
#include "kit/ui/text_engine.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "kit/foundation/exception.h"
#include "kit/foundation/no_destructor.h"

namespace kit {

namespace {

// kit/ui/fonts.conf, embedded at build time.
const char* const kFontsConf =
#include "kit_ui_fonts_conf.inc"
    ;

PangoAlignment pangoAlignment(TextAlignment a) {
  switch (a) {
    case TextAlignment::Center: return PANGO_ALIGN_CENTER;
    case TextAlignment::Right: return PANGO_ALIGN_RIGHT;
    default: return PANGO_ALIGN_LEFT;
  }
}

guint16 channel(double v) { return static_cast<guint16>(std::lround(std::clamp(v, 0.0, 1.0) * 65535)); }

void addColor(PangoAttrList* list, const Ref<Color>& color, guint start, guint end, bool background) {
  if (!color) return;
  const RGBA c = color->rgbaComponents();
  PangoAttribute* a = background ? pango_attr_background_new(channel(c.red), channel(c.green), channel(c.blue))
                                 : pango_attr_foreground_new(channel(c.red), channel(c.green), channel(c.blue));
  a->start_index = start;
  a->end_index = end;
  pango_attr_list_insert(list, a);
  PangoAttribute* alpha = background ? pango_attr_background_alpha_new(channel(c.alpha))
                                     : pango_attr_foreground_alpha_new(std::max<guint16>(1, channel(c.alpha)));
  alpha->start_index = start;
  alpha->end_index = end;
  pango_attr_list_insert(list, alpha);
}

PangoFontDescription* describe(const Font& font) {
  PangoFontDescription* d = pango_font_description_new();
  pango_font_description_set_family(d, TextEngine::family());
  pango_font_description_set_absolute_size(d, font.pointSize() * PANGO_SCALE);
  pango_font_description_set_weight(d, font.weight() >= FontWeight::Semibold ? PANGO_WEIGHT_BOLD
                                                                              : PANGO_WEIGHT_NORMAL);
  return d;
}

}  // namespace

struct TextEngine::Impl {
  FcConfig* config = nullptr;
  PangoFontMap* fontMap = nullptr;
  PangoContext* context = nullptr;

  // Builds the layout for a request. The caller unrefs it.
  PangoLayout* layout(const TextLayoutRequest& request, bool* truncated) {
    PangoLayout* layout = pango_layout_new(context);
    const AttributedString& text = *request.text;
    pango_layout_set_text(layout, text.string().data(), static_cast<int>(text.string().size()));

    const Ref<Font> baseFont = request.defaults.font ? request.defaults.font : Font::systemFont(Font::LabelFontSize);
    PangoFontDescription* baseDesc = describe(*baseFont);
    pango_layout_set_font_description(layout, baseDesc);
    pango_font_description_free(baseDesc);

    PangoAttrList* attrs = pango_attr_list_new();
    Ref<ParagraphStyle> paragraph = request.defaults.paragraphStyle;
    for (const auto& run : text.runs()) {
      const TextAttributes a = request.defaults.merged(run.attributes);
      const guint start = static_cast<guint>(text.byteOffset(run.range.location));
      const guint end = static_cast<guint>(text.byteOffset(run.range.end()));
      if (a.font && a.font != baseFont) {
        PangoFontDescription* d = describe(*a.font);
        PangoAttribute* fa = pango_attr_font_desc_new(d);
        pango_font_description_free(d);
        fa->start_index = start;
        fa->end_index = end;
        pango_attr_list_insert(attrs, fa);
      }
      Ref<Color> fg = a.foregroundColor;
      if (!a.link.empty() && !run.attributes.foregroundColor) fg = Color::rgba(0, 122.0 / 255, 1, 1);
      addColor(attrs, fg, start, end, false);
      addColor(attrs, a.backgroundColor, start, end, true);
      if (a.strikethroughStyle != UnderlineStyleNone) {
        PangoAttribute* s = pango_attr_strikethrough_new(TRUE);
        s->start_index = start;
        s->end_index = end;
        pango_attr_list_insert(attrs, s);
        if (a.strikethroughColor) {
          const RGBA c = a.strikethroughColor->rgbaComponents();
          PangoAttribute* sc = pango_attr_strikethrough_color_new(channel(c.red), channel(c.green), channel(c.blue));
          sc->start_index = start;
          sc->end_index = end;
          pango_attr_list_insert(attrs, sc);
        }
      }
      if (a.underlineStyle != UnderlineStyleNone) {
        PangoAttribute* u = pango_attr_underline_new(a.underlineStyle == UnderlineStyleDouble ? PANGO_UNDERLINE_DOUBLE
                                                                                               : PANGO_UNDERLINE_SINGLE);
        u->start_index = start;
        u->end_index = end;
        pango_attr_list_insert(attrs, u);
      }
      if (a.kern) {
        PangoAttribute* k = pango_attr_letter_spacing_new(static_cast<int>(*a.kern * PANGO_SCALE));
        k->start_index = start;
        k->end_index = end;
        pango_attr_list_insert(attrs, k);
      }
      if (run.attributes.paragraphStyle && !paragraph) paragraph = run.attributes.paragraphStyle;
    }
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);

    TextAlignment alignment = request.alignment;
    LineBreakMode mode = request.lineBreakMode;
    if (paragraph) {
      pango_layout_set_spacing(layout, static_cast<int>(paragraph->lineSpacing * PANGO_SCALE));
      if (paragraph->firstLineHeadIndent != 0)
        pango_layout_set_indent(layout, static_cast<int>(paragraph->firstLineHeadIndent * PANGO_SCALE));
      if (paragraph->alignment != TextAlignment::Natural) alignment = paragraph->alignment;
    }
    pango_layout_set_alignment(layout, pangoAlignment(alignment));
    pango_layout_set_justify(layout, alignment == TextAlignment::Justified);

    const bool wraps = request.width > 0;
    if (wraps) {
      pango_layout_set_width(layout, static_cast<int>(std::floor(request.width * PANGO_SCALE)));
      pango_layout_set_wrap(layout, mode == LineBreakMode::ByCharWrapping ? PANGO_WRAP_CHAR : PANGO_WRAP_WORD_CHAR);
    } else {
      pango_layout_set_width(layout, -1);
    }
    PangoEllipsizeMode ellipsize = PANGO_ELLIPSIZE_NONE;
    if (mode == LineBreakMode::ByTruncatingTail) ellipsize = PANGO_ELLIPSIZE_END;
    else if (mode == LineBreakMode::ByTruncatingHead) ellipsize = PANGO_ELLIPSIZE_START;
    else if (mode == LineBreakMode::ByTruncatingMiddle) ellipsize = PANGO_ELLIPSIZE_MIDDLE;
    if (wraps && ellipsize != PANGO_ELLIPSIZE_NONE) {
      pango_layout_set_ellipsize(layout, ellipsize);
      pango_layout_set_height(layout, request.maxLines > 0 ? -request.maxLines : -1000000);
    }
    if (truncated) *truncated = pango_layout_is_ellipsized(layout);
    return layout;
  }

  // The height of the first `lines` lines (all when 0 or more than there are).
  static double shownHeight(PangoLayout* layout, int lines, int* shown) {
    const int count = pango_layout_get_line_count(layout);
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    if (lines <= 0 || lines >= count) {
      *shown = count;
      return logical.height / double(PANGO_SCALE);
    }
    *shown = lines;
    PangoLayoutIter* iter = pango_layout_get_iter(layout);
    for (int i = 0; i < lines - 1; ++i) pango_layout_iter_next_line(iter);
    int y0 = 0, y1 = 0;
    pango_layout_iter_get_line_yrange(iter, &y0, &y1);
    pango_layout_iter_free(iter);
    return y1 / double(PANGO_SCALE);
  }
};

const char* TextEngine::family() { return "WenQuanYi Micro Hei"; }

TextEngine& TextEngine::shared() {
  static NoDestructor<TextEngine> engine;
  return *engine;
}

TextEngine::TextEngine() : impl_(new Impl) {
  impl_->config = FcConfigCreate();
  if (!FcConfigParseAndLoadFromMemory(impl_->config, reinterpret_cast<const FcChar8*>(kFontsConf), FcTrue) ||
      !FcConfigBuildFonts(impl_->config)) {
    raise(InternalInconsistencyException, "kit: the bundled font configuration does not load");
  }
  impl_->fontMap = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
  pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(impl_->fontMap), impl_->config);
  impl_->context = pango_font_map_create_context(impl_->fontMap);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(impl_->context, options);
  cairo_font_options_destroy(options);
  pango_cairo_context_set_resolution(impl_->context, 72);
  pango_context_set_round_glyph_positions(impl_->context, FALSE);
}

TextMeasurement TextEngine::measure(const TextLayoutRequest& request) {
  TextMeasurement m;
  if (!request.text || request.text->length() == 0) return m;
  std::lock_guard lock(mutex_);
  bool truncated = false;
  PangoLayout* layout = impl_->layout(request, &truncated);
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  int shown = 0;
  m.size.height = Impl::shownHeight(layout, request.maxLines, &shown);
  m.size.width = logical.width / double(PANGO_SCALE);
  m.lineCount = shown;
  m.truncated = truncated || shown < pango_layout_get_line_count(layout);
  m.firstBaseline = pango_layout_get_baseline(layout) / double(PANGO_SCALE);
  g_object_unref(layout);
  return m;
}

void TextEngine::draw(_cairo* cr, const TextLayoutRequest& request, Point origin, double boxWidth) {
  if (!request.text || request.text->length() == 0) return;
  std::lock_guard lock(mutex_);
  PangoLayout* layout = impl_->layout(request, nullptr);
  int shown = 0;
  const double height = Impl::shownHeight(layout, request.maxLines, &shown);
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  double x = origin.x;
  if (request.width <= 0 && boxWidth > 0) {
    // Unwrapped text is aligned within the box by hand.
    const double w = logical.width / double(PANGO_SCALE);
    if (request.alignment == TextAlignment::Center) x += (boxWidth - w) / 2;
    else if (request.alignment == TextAlignment::Right) x += boxWidth - w;
  }
  cairo_save(cr);
  if (shown < pango_layout_get_line_count(layout)) {
    cairo_rectangle(cr, origin.x - 1e4, origin.y, 2e4, height);
    cairo_clip(cr);
  }
  const TextAttributes base = request.defaults;
  const RGBA c = base.foregroundColor ? base.foregroundColor->rgbaComponents() : RGBA{0, 0, 0, 1};
  cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
  cairo_move_to(cr, x, origin.y);
  pango_cairo_show_layout(cr, layout);
  cairo_restore(cr);
  g_object_unref(layout);
}

namespace {

// UTF-8 byte offset to UTF-16 index, and back, within `text`.
size_t utf16IndexOfByte(const std::string& text, size_t byte) {
  size_t units = 0;
  for (size_t i = 0; i < text.size() && i < byte;) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    units += length == 4 ? 2 : 1;
    i += length;
  }
  return units;
}

}  // namespace

size_t TextEngine::characterIndexAtPoint(const TextLayoutRequest& request, Point point) {
  if (!request.text || request.text->length() == 0) return 0;
  std::lock_guard lock(mutex_);
  PangoLayout* layout = impl_->layout(request, nullptr);
  int index = 0, trailing = 0;
  const bool inside = pango_layout_xy_to_index(layout, static_cast<int>(point.x * PANGO_SCALE),
                                               static_cast<int>(point.y * PANGO_SCALE), &index, &trailing);
  const std::string& text = request.text->string();
  size_t byte = static_cast<size_t>(std::max(0, index));
  // A trailing hit means the boundary after the character.
  for (int t = 0; t < trailing && byte < text.size(); ++t) {
    const unsigned char c = static_cast<unsigned char>(text[byte]);
    byte += c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  }
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  g_object_unref(layout);
  if (!inside && point.y * PANGO_SCALE >= logical.y + logical.height) return request.text->length();
  return std::min(utf16IndexOfByte(text, byte), request.text->length());
}

Rect TextEngine::characterRect(const TextLayoutRequest& request, size_t utf16Index) {
  if (!request.text || request.text->length() == 0) return {};
  std::lock_guard lock(mutex_);
  PangoLayout* layout = impl_->layout(request, nullptr);
  PangoRectangle r;
  pango_layout_index_to_pos(layout, static_cast<int>(request.text->byteOffset(utf16Index)), &r);
  g_object_unref(layout);
  return Rect{r.x / double(PANGO_SCALE), r.y / double(PANGO_SCALE), r.width / double(PANGO_SCALE),
              r.height / double(PANGO_SCALE)}
      .standardized();
}

TextEngine::FontMetrics TextEngine::metrics(const Font& font) {
  std::lock_guard lock(mutex_);
  PangoFontDescription* d = describe(font);
  PangoFontMetrics* m = pango_context_get_metrics(impl_->context, d, nullptr);
  FontMetrics out;
  out.ascent = pango_font_metrics_get_ascent(m) / double(PANGO_SCALE);
  out.descent = pango_font_metrics_get_descent(m) / double(PANGO_SCALE);
  out.height = pango_font_metrics_get_height(m) / double(PANGO_SCALE);
  if (out.height <= 0) out.height = out.ascent + out.descent;
  pango_font_metrics_unref(m);
  pango_font_description_free(d);
  return out;
}

}  // namespace kit

// Fontconfig links its patterns and value lists through encoded offsets,
// which LeakSanitizer cannot follow: the engine's live font configuration
// would be reported as leaked at exit. Its allocations are left out of leak
// reports; kit's own objects are still checked.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
