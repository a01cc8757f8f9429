// Pictures the store's views read whole from the web (item icons, the level
// pop-up's advertising GIF): one plain GET through kit networking with a
// 10-second time-out, and only for http and https addresses, so a reply
// value never reads a local file. The caller binds `done` to the main queue
// and a weak view (kit::bindPost), and drops a picture that arrives after
// the view moved on to another address.
//
//   NUVAStorePicture::read(model->icon(),
//       kit::bindPost(kit::Queue::main(), weakSelf<NUVAFixBtn>(),
//                     [address](NUVAFixBtn& self, const kit::Ref<kit::Data>& bytes) { ... }));
#pragma once

#include <functional>

#include "kit/foundation/data.h"
#include "kit/foundation/object.h"

class NUVAStorePicture {
 public:
  static constexpr double kTimeout = 10;

  // Starts the read of the address ("%@" of the value); `done` gets the
  // body of a 2xx answer on the session's queue and is not called when the
  // read fails. False, and nothing read, for an address that is not http
  // or https.
  static bool read(const kit::Id& address, std::function<void(const kit::Ref<kit::Data>&)> done);
};
