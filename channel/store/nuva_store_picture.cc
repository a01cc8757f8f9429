// Reading the store's pictures from the web. See nuva_store_picture.h.

#include "channel/store/nuva_store_picture.h"

#include <cctype>

#include "kit/foundation/url.h"
#include "kit/foundation/values.h"
#include "kit/net/url_request.h"
#include "kit/net/url_response.h"
#include "kit/net/url_session.h"

bool NUVAStorePicture::read(const kit::Id& address, std::function<void(const kit::Ref<kit::Data>&)> done) {
  if (!address) return false;
  auto url = kit::URL::URLWithString(kit::describe(address));
  if (!url || !url->scheme()) return false;
  std::string scheme = url->scheme()->utf8();
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (scheme != "http" && scheme != "https") return false;

  auto request = kit::URLRequest::make(url, kit::URLRequestCachePolicy::UseProtocolCachePolicy, kTimeout);
  auto task = kit::URLSession::sharedSession()->dataTaskWithRequest(
      request, [done = std::move(done)](kit::Ref<kit::Data> data, kit::Ref<kit::URLResponse> response,
                                        kit::Ref<kit::Error> error) {
        if (error || !data) return;
        auto http = kit::as<kit::HTTPURLResponse>(response);
        if (http && (http->statusCode() < 200 || http->statusCode() > 299)) return;
        done(data);
      });
  task->resume();
  return true;
}
