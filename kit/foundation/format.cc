// The platform's format directives, "%@" texts and the description format
// of arrays and dictionaries.

#include "kit/foundation/format.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <cstdio>
#include <cstring>

#include "kit/foundation/array.h"
#include "kit/foundation/data.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/number.h"

namespace kit {

// ---- describe -------------------------------------------------------------

std::string describe(const Object* value) { return value ? value->description() : "(null)"; }

std::string describe(const Id& value) { return describe(value.get()); }

namespace detail {

namespace {

bool isWordCharacter(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Element texts inside a collection description are quoted unless they are
// one word of ASCII letters and digits, as the platform writes them: "-1",
// "6.5", "<null>" and "user_id" are quoted, abc and 200 are not.
void appendQuotedIfNeeded(std::string& out, std::string_view s) {
  bool plain = !s.empty();
  for (unsigned char c : s) {
    if (!isWordCharacter(c)) {
      plain = false;
      break;
    }
  }
  if (plain) {
    out += s;
    return;
  }
  out += '"';
  size_t run = 0;  // start of the bytes not yet copied
  for (size_t i = 0; i < s.size(); ++i) {
    const char* escape = nullptr;
    switch (s[i]) {
      case '"': escape = "\\\""; break;
      case '\\': escape = "\\\\"; break;
      case '\n': escape = "\\n"; break;
      case '\t': escape = "\\t"; break;
      case '\r': escape = "\\r"; break;
      default: continue;
    }
    out.append(s, run, i - run);
    out += escape;
    run = i + 1;
  }
  out.append(s, run);
  out += '"';
}

void appendSpaces(std::string& out, int level) { out.append(4 * static_cast<size_t>(level), ' '); }

void appendCollection(std::string& out, const Object& collection, int level);

void appendElement(std::string& out, const Id& v, int level) {
  const Object* o = v.get();
  if (auto* s = dynamic_cast<const String*>(o)) {
    appendQuotedIfNeeded(out, s->utf8());
  } else if (dynamic_cast<const Array*>(o) || dynamic_cast<const Dictionary*>(o)) {
    // Only the kit's own description format nests; a collection class with
    // its own description is written through it.
    appendCollection(out, *o, level);
  } else if (dynamic_cast<const Data*>(o)) {
    out += o->description();  // "<0a1b2c3d>" stays bare
  } else {
    appendQuotedIfNeeded(out, describe(o));
  }
}

void appendCollection(std::string& out, const Object& collection, int level) {
  if (auto* a = dynamic_cast<const Array*>(&collection)) {
    appendSpaces(out, level);
    out += "(\n";
    for (size_t i = 0, n = a->count(); i < n; ++i) {
      appendSpaces(out, level + 1);
      appendElement(out, a->objectAtIndex(i), level + 1);
      out += i + 1 < n ? ",\n" : "\n";
    }
    appendSpaces(out, level);
    out += ')';
    return;
  }
  auto& d = dynamic_cast<const Dictionary&>(collection);
  appendSpaces(out, level);
  out += "{\n";
  d.enumerateKeysAndObjects([&out, level](const Id& k, const Id& v, bool*) {
    appendSpaces(out, level + 1);
    appendElement(out, k, level + 1);
    out += " = ";
    appendElement(out, v, level + 1);
    out += ";\n";
  });
  appendSpaces(out, level);
  out += '}';
}

}  // namespace

std::string describeCollection(const Object& collection, int level) {
  std::string out;
  out.reserve(128);
  appendCollection(out, collection, level);
  return out;
}

}  // namespace detail

// ---- FormatArg ------------------------------------------------------------

long long FormatArg::asSigned() const {
  switch (type_) {
    case Type::Signed: return i_;
    case Type::Unsigned: return static_cast<long long>(u_);
    case Type::Double:
      // Clamped like Number's readings: the plain cast is undefined for NaN
      // and for values out of range.
      if (std::isnan(d_)) return 0;
      if (d_ >= 9223372036854775807.0) return std::numeric_limits<long long>::max();
      if (d_ <= -9223372036854775808.0) return std::numeric_limits<long long>::min();
      return static_cast<long long>(d_);
    case Type::Object:
      if (auto* n = dynamic_cast<const Number*>(obj_)) return n->longLongValue();
      return 0;
    case Type::Pointer: return static_cast<long long>(reinterpret_cast<uintptr_t>(p_));
    default: return 0;
  }
}

unsigned long long FormatArg::asUnsigned() const {
  switch (type_) {
    case Type::Unsigned: return u_;
    case Type::Object:
      if (auto* n = dynamic_cast<const Number*>(obj_)) return n->unsignedLongLongValue();
      return 0;
    case Type::Pointer: return reinterpret_cast<uintptr_t>(p_);
    default: return static_cast<unsigned long long>(asSigned());
  }
}

double FormatArg::asDouble() const {
  switch (type_) {
    case Type::Double: return d_;
    case Type::Signed: return static_cast<double>(i_);
    case Type::Unsigned: return static_cast<double>(u_);
    case Type::Object:
      if (auto* n = dynamic_cast<const Number*>(obj_)) return n->doubleValue();
      return 0;
    default: return 0;
  }
}

std::string FormatArg::asText() const {
  switch (type_) {
    case Type::CString: return text_ ? text_ : "(null)";
    case Type::Text: return std::string(text_, len_);
    case Type::Object: return describe(obj_);
    case Type::Signed: return std::to_string(i_);
    case Type::Unsigned: return std::to_string(u_);
    case Type::Double:  // as the boxed number prints
      return (single_ ? Number::fromFloat(static_cast<float>(d_)) : Number::fromDouble(d_))->stringValue();
    case Type::Pointer: {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%p", p_);
      return buf;
    }
  }
  return {};
}

const void* FormatArg::pointer() const {
  switch (type_) {
    case Type::Pointer: return p_;
    case Type::Object: return obj_;
    case Type::CString:
    case Type::Text: return text_;
    default: return reinterpret_cast<const void*>(static_cast<uintptr_t>(asUnsigned()));
  }
}

// ---- formatText -----------------------------------------------------------

namespace {

constexpr int kMaxWidth = 4096;

// Writes `body` padded with spaces to `width`, measured in `chars`.
void padTo(std::string& out, std::string_view body, size_t chars, int width, bool left) {
  size_t fill = width > 0 && chars < static_cast<size_t>(width) ? static_cast<size_t>(width) - chars : 0;
  if (!left) out.append(fill, ' ');
  out += body;
  if (left) out.append(fill, ' ');
}

void pad(std::string& out, const std::string& body, int width, bool left) {
  // Width counts characters, not bytes, for text directives.
  size_t chars = 0;
  for (unsigned char c : body) chars += (c & 0xC0) != 0x80;
  padTo(out, body, chars, width, left);
}

// The bytes of the longest head of `text` that fits in `maxUnits` UTF-16
// units without cutting a character; its length in units goes to *units.
size_t headInUnits(std::string_view text, size_t maxUnits, size_t* units) {
  size_t pos = 0, counted = 0;
  while (pos < text.size()) {
    size_t next = pos;
    size_t n = decodeCodePoint(text, next) >= 0x10000 ? 2 : 1;
    if (counted + n > maxUnits) break;
    counted += n;
    pos = next;
  }
  *units = counted;
  return pos;
}

}  // namespace

void FormatArg::appendText(std::string& out) const {
  switch (type_) {
    case Type::CString: out += text_ ? text_ : "(null)"; return;
    case Type::Text: out.append(text_, len_); return;
    case Type::Object:
      if (auto* s = dynamic_cast<const String*>(obj_)) {
        out += s->utf8();
        return;
      }
      out += describe(obj_);
      return;
    default: out += asText();
  }
}

std::string formatText(std::string_view fmt, std::span<const FormatArg> args) {
  std::string out;
  out.reserve(fmt.size() + 16 * args.size());
  size_t next = 0;
  auto take = [&]() -> const FormatArg* { return next < args.size() ? &args[next++] : nullptr; };
  static const FormatArg missing(nullptr);

  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != '%') {
      // Copy the literal text up to the next directive in one go.
      size_t next = fmt.find('%', i);
      if (next == std::string_view::npos) next = fmt.size();
      out.append(fmt, i, next - i);
      i = next - 1;
      continue;
    }
    size_t start = i++;
    if (i >= fmt.size()) {
      out += '%';
      break;
    }
    if (fmt[i] == '%') {
      out += '%';
      continue;
    }
    std::string flags;
    while (i < fmt.size() && fmt[i] && std::strchr("-+ #0'", fmt[i])) {
      if (flags.size() < 8) flags += fmt[i];
      ++i;
    }
    // Widths and precisions are capped, however they are given, so a
    // hostile format or argument cannot ask for gigabytes.
    int width = -1, precision = -1;
    if (i < fmt.size() && fmt[i] == '*') {
      const FormatArg* a = take();
      long long given = a ? a->asSigned() : 0;
      if (given < 0) {
        flags += '-';
        given = given == std::numeric_limits<long long>::min() ? kMaxWidth : -given;
      }
      width = static_cast<int>(std::min<long long>(given, kMaxWidth));
      ++i;
    } else {
      while (i < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[i]))) {
        width = std::min((width < 0 ? 0 : width) * 10 + (fmt[i++] - '0'), kMaxWidth);
      }
    }
    if (i < fmt.size() && fmt[i] == '.') {
      ++i;
      precision = 0;
      if (i < fmt.size() && fmt[i] == '*') {
        const FormatArg* a = take();
        long long given = a ? a->asSigned() : 0;
        precision = given < 0 ? -1 : static_cast<int>(std::min<long long>(given, kMaxWidth));
        ++i;
      } else {
        while (i < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[i]))) {
          precision = std::min(precision * 10 + (fmt[i++] - '0'), kMaxWidth);
        }
      }
    }
    std::string length;
    while (i < fmt.size() && fmt[i] && std::strchr("hlqLzjt", fmt[i])) {
      if (length.size() < 4) length += fmt[i];
      ++i;
    }
    if (i >= fmt.size()) {
      out.append(fmt.substr(start));
      break;
    }
    char conv = fmt[i];
    const bool left = flags.find('-') != std::string::npos;
    const bool plain = flags.empty() && width < 0 && precision < 0;
    if (plain && (conv == '@' || (conv == 's' && length.empty()))) {
      const FormatArg* a = take();
      if (a) a->appendText(out);
      else out += "(null)";
      continue;
    }
    if (plain && (conv == 'd' || conv == 'i')) {
      const FormatArg* a = take();
      long long v = (a ? *a : missing).asSigned();
      if (length.empty()) v = static_cast<int>(v);
      else if (length == "h") v = static_cast<short>(v);
      else if (length == "hh") v = static_cast<signed char>(v);
      char digits[24];
      auto r = std::to_chars(digits, digits + sizeof digits, v);
      out.append(digits, r.ptr);
      continue;
    }

    // The printf spec for numeric conversions, with our own length.
    char specBuf[48];
    auto spec = [&](const char* len, char conversion) -> const char* {
      char* p = specBuf;
      *p++ = '%';
      for (char f : flags) *p++ = f;
      if (width >= 0) p = std::to_chars(p, specBuf + 20, width).ptr;
      if (precision >= 0) {
        *p++ = '.';
        p = std::to_chars(p, specBuf + 32, precision).ptr;
      }
      while (*len) *p++ = *len++;
      *p++ = conversion;
      *p = 0;
      return specBuf;
    };
    // snprintf into a stack buffer, or into the output itself when the
    // text is longer (wide fields reach kMaxWidth).
    char buf[512];
    auto print = [&](auto value, const char* len) {
      const char* format = spec(len, conv);
      int n = std::snprintf(buf, sizeof buf, format, value);
      if (n < 0) return;
      if (static_cast<size_t>(n) < sizeof buf) {
        out.append(buf, static_cast<size_t>(n));
        return;
      }
      size_t at = out.size();
      out.resize(at + static_cast<size_t>(n) + 1);
      std::snprintf(out.data() + at, static_cast<size_t>(n) + 1, format, value);
      out.resize(at + static_cast<size_t>(n));
    };
    switch (conv) {
      case '@': {
        // Width and precision count UTF-16 units, as string lengths do.
        const FormatArg* a = take();
        std::string body = a ? a->asText() : "(null)";
        size_t units = 0;
        size_t bytes = headInUnits(body, precision >= 0 ? static_cast<size_t>(precision) : SIZE_MAX, &units);
        padTo(out, std::string_view(body).substr(0, bytes), units, width, left);
        break;
      }
      case 's': {
        const FormatArg* a = take();
        std::string body = a ? a->asText() : "(null)";
        if (precision >= 0 && body.size() > static_cast<size_t>(precision)) {
          // Never cut a UTF-8 sequence in half.
          size_t cut = static_cast<size_t>(precision);
          while (cut > 0 && (static_cast<unsigned char>(body[cut]) & 0xC0) == 0x80) --cut;
          body.resize(cut);
        }
        pad(out, body, width, left);
        break;
      }
      case 'd':
      case 'i': {
        const FormatArg* a = take();
        long long v = (a ? *a : missing).asSigned();
        if (length.empty()) v = static_cast<int>(v);
        else if (length == "h") v = static_cast<short>(v);
        else if (length == "hh") v = static_cast<signed char>(v);
        print(v, "ll");
        break;
      }
      case 'u':
      case 'x':
      case 'X':
      case 'o': {
        const FormatArg* a = take();
        unsigned long long v = (a ? *a : missing).asUnsigned();
        if (length.empty()) v = static_cast<unsigned>(v);
        else if (length == "h") v = static_cast<unsigned short>(v);
        else if (length == "hh") v = static_cast<unsigned char>(v);
        print(v, "ll");
        break;
      }
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
      case 'a':
      case 'A': {
        const FormatArg* a = take();
        print((a ? *a : missing).asDouble(), "");
        break;
      }
      case 'c':
      case 'C': {
        const FormatArg* a = take();
        unsigned long long v = (a ? *a : missing).asUnsigned();
        std::string body;
        if (conv == 'c' && length.empty()) {
          body = std::string(1, static_cast<char>(v));
        } else {
          appendCodePoint(body, v > 0x10FFFF ? char32_t{0xFFFD} : static_cast<char32_t>(v));
        }
        pad(out, body, width, left);
        break;
      }
      case 'p': {
        const FormatArg* a = take();
        std::snprintf(buf, sizeof buf, "%p", a ? a->pointer() : nullptr);
        pad(out, buf, width, left);
        break;
      }
      default:
        // Unknown directive: written as it stands.
        out.append(fmt.substr(start, i - start + 1));
        break;
    }
  }
  return out;
}

}  // namespace kit
