// Fuzzes the XML parser in each of its modes (plain, namespaces with prefix
// reports, entity expansion). Whatever the bytes, a parse that succeeds has
// balanced, properly nested element events between one start and one end
// of the document; a parse that fails reports exactly one error and no
// document end.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "kit/foundation/xml_parser.h"

namespace {

class Checker : public kit::XMLParserDelegate {
 public:
  std::vector<std::string> open;
  int starts = 0, ends = 0, errors = 0;
  bool abortEarly = false;
  size_t seen = 0;

  void parserDidStartDocument(kit::XMLParser&) override { ++starts; }
  void parserDidEndDocument(kit::XMLParser&) override { ++ends; }
  void didStartElement(kit::XMLParser& parser, const std::string& name, const kit::Ref<kit::String>&,
                       const kit::Ref<kit::String>&, const kit::Ref<kit::Dictionary>& attributes) override {
    if (!attributes) std::abort();
    open.push_back(name);
    if (abortEarly && ++seen == 3) parser.abortParsing();
  }
  void didEndElement(kit::XMLParser&, const std::string& name, const kit::Ref<kit::String>&,
                     const kit::Ref<kit::String>&) override {
    if (open.empty() || open.back() != name) std::abort();
    open.pop_back();
  }
  void foundCharacters(kit::XMLParser&, const kit::Ref<kit::String>& text) override {
    if (!text || text->utf8().empty()) std::abort();  // never an empty delivery
  }
  void parseErrorOccurred(kit::XMLParser&, const kit::Ref<kit::Error>& error) override {
    if (!error) std::abort();
    ++errors;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  auto data = kit::Data::make(bytes, size);
  for (int mode = 0; mode < 4; ++mode) {
    auto parser = kit::XMLParser::make(data);
    auto checker = std::make_shared<Checker>();
    parser->setDelegate(checker);
    parser->shouldProcessNamespaces = mode == 1;
    parser->shouldReportNamespacePrefixes = mode == 1;
    parser->expandsInternalEntities = mode == 2;
    checker->abortEarly = mode == 3;
    bool ok = parser->parse();
    if (ok) {
      if (checker->starts != 1 || checker->ends != 1 || !checker->open.empty() || checker->errors) std::abort();
      if (parser->parserError()) std::abort();
    } else {
      if (checker->ends != 0 || checker->errors != 1 || !parser->parserError()) std::abort();
    }
  }
  return 0;
}
