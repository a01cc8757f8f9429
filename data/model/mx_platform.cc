// JSON through the client's JSON codec, and the number reading of the
// mapper's shared number formatter.

#include "data/model/mx_platform.h"

#include "data/json/json_text.h"
#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/number_formatter.h"

namespace mx_platform {

kit::Id JSONObjectWithString(const kit::String& text) { return objectFromJSONString(text); }

kit::Id JSONObjectWithData(const kit::Data& data) { return objectFromJSONData(data); }

kit::Ref<kit::Data> dataWithJSONObject(const kit::Id& object) {
  if (auto* array = dynamic_cast<const kit::Array*>(object.get())) return JSONData(*array);
  if (auto* dictionary = dynamic_cast<const kit::Dictionary*>(object.get())) return JSONData(*dictionary);
  return nullptr;
}

kit::Ref<kit::Number> numberFromString(std::string_view text) {
  // One formatter with default settings serves every conversion; reading
  // does not change it, so threads may share it.
  static const kit::NoDestructor<kit::NumberFormatter> formatter;
  return formatter->numberFromString(text);
}

}  // namespace mx_platform
