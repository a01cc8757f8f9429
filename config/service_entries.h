// What one configuration source says: the addresses it gives for the
// configuration's keys (see client_configuration.h), and one line for every
// entry it had to leave out. Reads the services file the simulator writes,
// the bundle's ServiceHosts.plist and the Info.plist; all of them may be
// malformed, and none of them can make the client crash or reach a host
// that is not an http or https URL.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "kit/foundation/data.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/expected.h"

// The error domain of a source that could not be read as a whole.
inline constexpr const char* ServiceEntriesErrorDomain = "ServiceEntriesErrorDomain";
enum ServiceEntriesError : long {
  ServiceEntriesNotAPropertyListOrJSON = 1,  // neither parser accepts the bytes
  ServiceEntriesNotADictionary = 2,          // the top level is another kind of value
};

// A services file larger than this is refused unread.
inline constexpr size_t kMaxServicesFileBytes = size_t(1) << 20;

// Whether keys that are not configuration keys are reported (a services
// list holds nothing else) or passed over quietly (an Info.plist holds many).
enum class UnknownServiceKeys { Report, Ignore };

struct ServiceEntries {
  std::map<std::string, std::string, std::less<>> addresses;  // key name -> address
  std::vector<std::string> ignored;  // "\"GamePage\" is a number, not a text"
};

// The entries of a dictionary (nil gives none).
ServiceEntries serviceEntriesFromDictionary(const kit::Ref<kit::Dictionary>& dictionary, UnknownServiceKeys unknown);

// The entries of a services file's bytes: a JSON object (text starting with
// "{"), else an XML or binary property list holding a dictionary.
kit::Expected<ServiceEntries> parseServiceEntries(const kit::Ref<kit::Data>& data, UnknownServiceKeys unknown);

// The same for a file; an error when it is missing, unreadable, larger than
// kMaxServicesFileBytes, or not a dictionary.
kit::Expected<ServiceEntries> readServiceEntries(const std::string& path, UnknownServiceKeys unknown);
