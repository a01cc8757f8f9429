// The platform SDK's text utilities. See ns_string_url_encode.h.
#include "platform/base/ns_string_url_encode.h"

#include <array>

#include "kit/dispatch/clock.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/charset.h"
#include "kit/foundation/crypto.h"
#include "kit/foundation/format.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/percent_encoding.h"
#include "kit/foundation/random.h"
#include "kit/foundation/regex.h"
#include "kit/foundation/string_encoding.h"
#include "platform/base/share_vale.h"
#include "platform/base/url_query_value.h"

namespace {

// The key the platform's web pages check their arguments' sign with.
constexpr std::string_view kWebPageSignKey = "pemu@!vor";

// The SDK's resource bundle in the main bundle.
constexpr std::string_view kResourceBundleName = "VIROV";
constexpr std::string_view kResourceBundleType = "bundle";

// The characters the older percent-encoding escapes beyond those that may
// not stand in a URL at all.
constexpr std::string_view kAlsoEscaped = ":/?#[]@!$ &'()*+,;=\"<>%{}|\\^~`";

// Phone numbers, tried in this order: mobile, fixed line, then the three
// carriers' own ranges.
constexpr std::array<std::string_view, 5> kPhonePatterns{
    R"(^1(3[0-9]|5[0-35-9]|8[025-9])\d{8}$)",
    R"(^0(10|2[0-5789]|\d{3})\d{7,8}$)",
    R"(^1((33|53|8[09])[0-9]|349)\d{7}$)",
    R"(^1(3[0-2]|5[256]|8[56])\d{8}$)",
    R"(^1(34[0-8]|(3[5-9]|5[017-9]|8[278])\d)\d{7}$)",
};

// The general address pattern of RFC 5322, over lower-case text.
constexpr std::string_view kEmailPattern =
    // local part: a dot-atom or a quoted string
    R"re((?:[a-z0-9!#$%&'*+/=?^_`{|}~-]+(?:\.[a-z0-9!#$%&'*+/=?^_`{|}~-]+)*)re"
    R"re(|"(?:[\x01-\x08\x0b\x0c\x0e-\x1f\x21\x23-\x5b\x5d-\x7f]|\\[\x01-\x09\x0b\x0c\x0e-\x7f])*"))re"
    // domain: labels, or a bracketed IPv4 address or tagged literal
    R"re(@(?:(?:[a-z0-9](?:[a-z0-9-]*[a-z0-9])?\.)+[a-z0-9](?:[a-z0-9-]*[a-z0-9])?)re"
    R"re(|\[(?:(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\.){3}(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)re"
    R"re(|[a-z0-9-]*[a-z0-9]:(?:[\x01-\x08\x0b\x0c\x0e-\x1f\x21-\x5a\x53-\x7f]|\\[\x01-\x09\x0b\x0c\x0e-\x7f])+)\]))re";

constexpr std::string_view kWeakPasswordPattern = R"(^(?=.*\d.*)(?=.*[a-zA-Z].*).{6,20}$)";

// A pattern that must match the whole text, as a "SELF MATCHES" test does.
kit::Ref<kit::RegularExpression> wholeTextPattern(std::string_view pattern) {
  return kit::RegularExpression::make("\\A(?:" + std::string(pattern) + ")\\z");
}

bool matchesWhole(const kit::Ref<kit::RegularExpression>& expression, std::string_view text) {
  return expression && expression->firstMatch(*kit::str(text)) != nullptr;
}

kit::Ref<kit::String> resourceBundlePath() {
  return kit::Bundle::main()->pathForResource(kResourceBundleName, kResourceBundleType);
}

}  // namespace

std::string NSStringURLEncode::md5String(std::string_view text) {
  const size_t zero = text.find('\0');
  return kit::md5Hex(text.substr(0, zero));
}

std::string NSStringURLEncode::stringFromBytes(const uint8_t* bytes, long length) {
  if (!bytes || length <= 0) return {};
  return kit::hexString(bytes, static_cast<size_t>(length));
}

std::string NSStringURLEncode::URLEncodedString(std::string_view text) {
  // GB 18030 covers all of Unicode. What is not Unicode at all (a byte that
  // is no UTF-8, a lone surrogate) is escaped byte by byte; the characters
  // around it keep their GB 18030 escapes.
  std::string out;
  auto escapeBytes = [&](std::string_view bytes) {
    for (const char c : bytes) {
      const auto byte = static_cast<unsigned char>(c);
      out += {'%', "0123456789ABCDEF"[byte >> 4], "0123456789ABCDEF"[byte & 15]};
    }
  };
  size_t runStart = 0;
  auto flushRun = [&](size_t end) {
    if (end <= runStart) return;
    const std::string_view run = text.substr(runStart, end - runStart);
    kit::Ref<kit::String> encoded =
        kit::stringByAddingPercentEscapes(*kit::str(run), "", kAlsoEscaped, kit::StringEncoding::GB18030);
    if (encoded) {
      out += encoded->utf8();
      return;
    }
    // Text the conversion refuses keeps the same escape set over its UTF-8
    // bytes: letters, digits and "-._" stay, every other byte is escaped.
    for (const char c : run) {
      const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                        c == '.' || c == '_';
      if (kept) {
        out += c;
      } else {
        escapeBytes(std::string_view(&c, 1));
      }
    }
  };
  for (size_t pos = 0; pos < text.size();) {
    const size_t start = pos;
    const char32_t c = kit::decodeCodePoint(text, pos);
    const bool convertible = !(c == 0xFFFD && pos - start == 1) && !(c >= 0xD800 && c <= 0xDFFF);
    if (convertible) continue;
    flushRun(start);
    escapeBytes(text.substr(start, pos - start));
    runStart = pos;
  }
  flushRun(text.size());
  return out;
}

bool NSStringURLEncode::isEmptyOrWhitespace(std::string_view text) {
  return kit::str(text)->stringByTrimmingCharactersInSet(*kit::CharacterSet::whitespace())->empty();
}

std::string NSStringURLEncode::trimmedWhitespaceString(std::string_view text) {
  return kit::str(text)->stringByTrimmingCharactersInSet(*kit::CharacterSet::whitespace())->utf8();
}

std::string NSStringURLEncode::trimmedWhitespaceAndNewlineString(std::string_view text) {
  return kit::str(text)->stringByTrimmingCharactersInSet(*kit::CharacterSet::whitespaceAndNewline())->utf8();
}

bool NSStringURLEncode::isTelephone(std::string_view text) {
  static const kit::NoDestructor patterns([] {
    std::array<kit::Ref<kit::RegularExpression>, kPhonePatterns.size()> compiled;
    for (size_t i = 0; i < kPhonePatterns.size(); ++i) compiled[i] = wholeTextPattern(kPhonePatterns[i]);
    return compiled;
  }());
  for (const auto& pattern : *patterns) {
    if (matchesWhole(pattern, text)) return true;
  }
  return false;
}

bool NSStringURLEncode::isEmail(std::string_view text) {
  static const kit::NoDestructor pattern(wholeTextPattern(kEmailPattern));
  return matchesWhole(*pattern, kit::str(text)->lowercaseString()->utf8());
}

bool NSStringURLEncode::isWeakPswd(std::string_view text) {
  static const kit::NoDestructor pattern(wholeTextPattern(kWeakPasswordPattern));
  return matchesWhole(*pattern, text);
}

bool NSStringURLEncode::isSignWithUserName(std::string_view text, const kit::Id& userName, const kit::Id& appkey,
                                           const kit::Id& sinceTime) {
  const std::string signed_ = kit::formatString("username=%@&appkey=%@&logintime=%@", userName, appkey, sinceTime);
  return text == md5String(signed_);
}

std::string NSStringURLEncode::getImagePath(std::string_view name) {
  if (!resourceBundlePath()) return std::string(name);
  return kit::formatString("%@.bundle/%@", std::string(kResourceBundleName), std::string(name));
}

std::string NSStringURLEncode::getWebViewURLArgument() {
  auto share = ShareVale::sharedInstance();
  const kit::Id userName = share->userName();
  const kit::Id gameID = share->gameID();
  const kit::Id sid = share->sid();
  const double now = kit::Clock::wallNow();  // read once: the sign and the argument carry the same time

  const std::string signText =
      kit::formatString("username=%@&appkey=%@&logintime=%.0f", userName, std::string(kWebPageSignKey), now);
  const std::string sign = md5String(signText);

  // Each value goes into the query percent-encoded; "(null)" for a missing
  // one passes unchanged, as the sign has it.
  auto value = [](const kit::Id& v) { return URLQueryValue::encode(kit::describe(v)); };
  return kit::formatString("?gid=%@&gameid=%@&sid=%@&username=%@&logintime=%.0f&sign=%@&device=ios", value(gameID),
                           value(gameID), value(sid), value(userName), now, sign);
}

std::string NSStringURLEncode::getBundlePath() {
  if (kit::Ref<kit::String> path = resourceBundlePath()) return path->utf8();
  return kit::Bundle::main()->bundlePath();
}

std::string NSStringURLEncode::getOrderNumber() {
  return orderNumberWith(kit::Clock::wallNow() * 1000, kit::arc4random());
}

std::string NSStringURLEncode::orderNumberWith(double milliseconds, uint32_t random) {
  // The addition wraps at 2^32 before the remainder is taken.
  const uint32_t tail = static_cast<uint32_t>(random + 1000u) % 10000u;
  return kit::formatString("%.f%ld", milliseconds, static_cast<long>(tail));
}

bool NSStringURLEncode::isNumber(const kit::Ref<kit::String>& text) { return text && isNumber(text->utf8()); }

bool NSStringURLEncode::isNumber(std::string_view text) {
  if (text.empty()) return false;
  return text.find_first_not_of("0123456789.") == std::string_view::npos;
}

std::string NSStringURLEncode::getNowTimeTimestamp() { return kit::formatString("%0.f", kit::Clock::wallNow()); }
