// NUVADataFormat: the channel's small stateless helpers for values that come
// out of JSON replies and page messages: blank tests, JSON text parsing, URL
// component encoding, the three-byte character test, the random and MD5
// parts of a request signature, the notch-screen test and the pixel size of
// a remote image.
#pragma once

#include "kit/foundation/object.h"
#include "kit/foundation/string.h"
#include "kit/graphics/geometry.h"

class NUVADataFormat {
 public:
  // YES for nil, the null object, anything that is not a dictionary and an
  // empty dictionary.
  static bool isBlankDictionary(const kit::Id& value);
  // The same test for arrays.
  static bool isBlankArr(const kit::Id& value);
  // YES for nil, the null object, "", "NULL", "(null)" and text that is
  // empty once white space and newlines are trimmed from both ends. A value
  // that is not text is tested through its "%@" text.
  static bool isBlankString(const kit::Id& value);
  static bool isBlankString(std::string_view text);

  // Whether a reply value can stand as an id (an order id, say): a text or
  // a number whose text is not blank as isBlankString says. Containers,
  // nulls and anything else are not ids, whatever their description.
  static bool isUsableId(const kit::Id& value);

  // The "%@" text of a value read from a reply or a page message, with a
  // JSON null reading as "(null)", like a missing key, so that it counts as
  // unset and never travels on as "<null>".
  static kit::Ref<kit::String> textOfValue(const kit::Id& value);

  // The "name*amount" caption of a reward item or a prize, made of what
  // reads: "name*amount", "name" without an amount, "*amount" without a
  // name, and nothing when neither does. The name is read as a message (a
  // caption sits on a plate: blanks, a number or a flag are no name); an
  // amount that shows nothing (a flag, blanks, a number that is none) is
  // left out with its "*".
  static std::string prizeCaption(const kit::Id& name, const kit::Id& amount);

  // YES when the first window has a bottom safe-area inset.
  static bool isBangsScreen();

  // The JSON value of the text with mutable containers, or nil (a parse
  // error is logged).
  static kit::Id dictionaryWithJsonString(const kit::Ref<kit::String>& json);
  static kit::Id arrayWithJsonString(const kit::Ref<kit::String>& json);

  // Percent-encodes every non-ASCII character and the 29 reserved ASCII
  // characters (upper-case hex digits).
  static kit::Ref<kit::String> urlEncodeStr(std::string_view text);

  // YES when some UTF-16 unit of the text takes three bytes in UTF-8
  // (U+0800 to U+FFFF outside the surrogates).
  static bool isHasChineseChar(const kit::Ref<kit::String>& text);

  // A five-digit decimal text from 10000 to 99999.
  static kit::Ref<kit::String> NUVAMD5GetRandomStr();
  // The lower-case hex MD5 of the text's UTF-8 bytes up to the first zero
  // byte.
  static kit::Ref<kit::String> NUVAMD5WithNSString(std::string_view text);

  // The pixel size of the image at a URL object or URL text (width and
  // height swapped for the quarter-turn orientations); 0 x 0 when it cannot
  // be read. Loads a remote image on the calling thread.
  static kit::Size getImageSizeWithURL(const kit::Id& url);
};
