// NSStringURLEncode: the platform SDK's text utilities, each taking the
// text it works on as its first argument: MD5 in lower-case hex, the older
// percent-encoding, blank tests and trimming, input validators (phone,
// e-mail, weak password, login sign), paths into the SDK's resource bundle
// `VIROV.bundle`, the signed argument string appended to the platform's web
// pages, client order numbers and the current time stamp.
//
// Everything here is total (any text, the empty text included, gets an
// answer) and may run on any thread: the only state read is kit::Clock,
// kit's random source, the main bundle and ShareVale.
//
//   NSStringURLEncode::md5String("abc")   // "900150983cd24fb0d6963f7d28e17f72"
//   url + NSStringURLEncode::getWebViewURLArgument()
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

class NSStringURLEncode {
 public:
  // ---- Operations on a text
  // The MD5 of the text's UTF-8 bytes up to the first zero byte, as 32
  // lower-case hex digits.
  static std::string md5String(std::string_view text);
  // The bytes as lower-case hex ("%02x" each); "" for a length of 0 or less.
  static std::string stringFromBytes(const uint8_t* bytes, long length);
  // Every character that may not stand in a URL, and each of
  // ":/?#[]@!$ &'()*+,;=\"<>%{}|\^~`", as "%" and two hex digits per byte;
  // non-ASCII characters are first turned into their GB 18030 bytes. Bytes
  // that are no character (not UTF-8, a lone surrogate) are escaped as
  // they are, one by one.
  static std::string URLEncodedString(std::string_view text);
  // YES for "" and for blanks and tabs only (line breaks are content).
  static bool isEmptyOrWhitespace(std::string_view text);
  // Without leading and trailing blanks and tabs.
  static std::string trimmedWhitespaceString(std::string_view text);
  // Without leading and trailing blanks, tabs and line breaks.
  static std::string trimmedWhitespaceAndNewlineString(std::string_view text);
  // A mainland mobile or fixed-line number (five patterns, see the .cc).
  static bool isTelephone(std::string_view text);
  // The lower-cased text is an RFC 5322 address: a dot-atom or quoted local
  // part; a domain of labels, a bracketed IPv4 address or a tagged literal.
  static bool isEmail(std::string_view text);
  // 6 to 20 characters holding at least one digit and one ASCII letter.
  static bool isWeakPswd(std::string_view text);
  // The text equals the MD5 hex of "username=%@&appkey=%@&logintime=%@"
  // filled with the three values (nil fills "(null)").
  static bool isSignWithUserName(std::string_view text, const kit::Id& userName, const kit::Id& appkey,
                                 const kit::Id& sinceTime);
  // "VIROV.bundle/<name>" when the main bundle holds VIROV.bundle, else the
  // name unchanged.
  static std::string getImagePath(std::string_view name);

  // ---- Class operations
  // "?gid=..&gameid=..&sid=..&username=..&logintime=..&sign=..&device=ios"
  // from ShareVale's game id, session id and user name and the current
  // time. The sign is the MD5 hex of "username=<name>&appkey=<sign
  // key>&logintime=<time>" over the raw values; the values in the argument
  // string are percent-encoded as URL query values, so no name can add or
  // break an argument.
  static std::string getWebViewURLArgument();
  // The path of VIROV.bundle in the main bundle, else the main bundle's.
  static std::string getBundlePath();
  // A new client order number: the current time in milliseconds since 1970
  // followed by a random number from 0 to 9999 (no leading zeros).
  static std::string getOrderNumber();
  // The order number for a time in milliseconds and a 32-bit random draw.
  static std::string orderNumberWith(double milliseconds, uint32_t random);
  // YES when the text is non-empty and made of "0123456789." only; NO for
  // nil.
  static bool isNumber(const kit::Ref<kit::String>& text);
  static bool isNumber(std::string_view text);
  // The current time in whole seconds since 1970 ("%0.f").
  static std::string getNowTimeTimestamp();
};
