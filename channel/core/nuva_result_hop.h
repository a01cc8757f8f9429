// NUVAPostResult: the one hop a platform result takes on its way to the
// channel's listeners.
//
// The platform's screens answer the light channel from inside their own
// main-thread work: a login window from its button's tap, a pay sheet from
// its result callback, an account switch from the login chain. The listener
// (the channel core, and through it the game page) must hear of the result
// only after that work and after everything the screen queued on the main
// queue before answering, so that what the player sees settles in the order
// it happened: the window has finished its step before the page hears of the
// login. One post to the main queue gives exactly that order, and results
// posted one after another arrive one after another.
//
// The hop goes straight to the main queue. Passing through a global queue
// first would add nothing to that order (the worker does no work), and a
// global queue runs its tasks side by side, so two results sent in a row
// could arrive swapped.
//
//   NUVAPostResult(selfAs<libNUVALightChannel>(), [listener, result](libNUVALightChannel&) {
//     if (auto strong = listener.lock()) strong->nuvaChannel_getPaySuccessCallBack(result);
//   });
//
// The call is dropped when the receiver is gone by the time it would run.
#pragma once

#include <memory>
#include <utility>

#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/queue.h"

template <class T, class F>
void NUVAPostResult(const std::shared_ptr<T>& receiver, F fn) {
  kit::bindPost(kit::Queue::main(), receiver, std::move(fn))();
}
