// KTPlatformReply: what a platform API request came back with, as a value,
// and the three ways of posting one (the platform's request clients), for
// the login and pay APIs.
//
// A request either was not delivered (transport failure, time-out: the
// client's error underneath), or came back with the decoded reply object,
// which is nil when the exchange completed without a decodable body (an
// HTTP 500 page, an empty body). The APIs read the reply's envelope into
// their models or into a refusal, as kit::Expected values, and turn those
// into the texts their callers get at the very end.
//
//   KTPlatformReplies::postScrambled("login/dologin", params, [](const KTPlatformReply& reply) {
//     auto envelope = KTPlatformReplies::envelope(reply);   // the dictionary, or why not
//     ...
//   });
#pragma once

#include <functional>
#include <string_view>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/error.h"
#include "kit/foundation/expected.h"
#include "kit/foundation/string.h"

// The reply object of a delivered request (nil when it had none), or the
// error of one that was not delivered.
using KTPlatformReply = kit::Expected<kit::Id>;

inline constexpr const char* KTPlatformAPIErrorDomain = "KTPlatformAPIErrorDomain";
enum KTPlatformAPIError : long {
  KTPlatformAPIErrorNotDelivered = 1,  // the transport's error under kit::UnderlyingErrorKey
  KTPlatformAPIErrorNoReply = 2,       // delivered without a reply dictionary
  KTPlatformAPIErrorRefused = 3,       // the server's result code is not success
};

class KTPlatformReplies {
 public:
  using Answer = std::function<void(const KTPlatformReply& reply)>;

  // The three clients. Each call returns at once; `answer` runs once, later,
  // on the main thread (the thread every platform call is made on).
  // The scrambled body client (NetWorkManager) to the API base + path.
  static void postScrambled(std::string_view path, const kit::Id& parameters, Answer answer);
  // The connection client (CXRNetTool) to the API base + path; its reply
  // is plain gzip JSON.
  static void postConnection(std::string_view path, const kit::Id& parameters, Answer answer);
  // The form client (CXRSdpNetTool) to the API base + path.
  static void postForm(std::string_view path, const kit::Id& parameters, Answer answer);

  // The reply dictionary, or why there is none (NotDelivered, NoReply).
  static kit::Expected<kit::Ref<kit::Dictionary>> envelope(const KTPlatformReply& reply);

  // A refusal carrying the server's message, nil unless it is a text a
  // player can read (KTReadableText: no blanks, numbers, flags or "<null>"),
  // and its code, nil unless a text or number that can be shown
  // (KTShownText).
  static kit::Unexpected refused(const kit::Id& message, const kit::Id& code);
  static kit::Unexpected notDelivered(const kit::Ref<kit::Error>& underlying);
  static kit::Unexpected noReply();

  // What an error of this domain is; -1 for another domain or nil.
  static long failureOf(const kit::Ref<kit::Error>& error);
  // The refusal's message and code (nil when the reply had none).
  static kit::Ref<kit::String> refusalMessage(const kit::Ref<kit::Error>& error);
  static kit::Ref<kit::String> refusalCode(const kit::Ref<kit::Error>& error);

  // Result codes as the server's envelopes are compared: a text equal to
  // `text` (a number never equals a text) ...
  static bool isText(const kit::Id& value, std::string_view text);
  // ... or the integer value of a text or a number (0 for anything else,
  // and for a text that does not start with a number).
  static long integerOf(const kit::Id& value);
};
