// The XML parser, on expat's event interface.
//
// Why expat rather than libxml2's SAX interface: expat does no I/O of its
// own (an external entity or DTD could only be read by a handler we
// install, and we install none, so there is no way for a document to make
// us read a file or the network); it limits entity amplification itself;
// its state lives in the parser object, with no process-wide error or
// entity-loader settings shared with the browser engine that also uses
// libxml2 in this process; and it reports CDATA sections, lines and columns
// and can be stopped from a handler, which is all this parser needs.

#define XML_DTD 1  // Debian's expat is built with DTD support; declare its limits API
#include "kit/foundation/xml_parser.h"

#include <expat.h>

#include <algorithm>
#include <cctype>
#include <exception>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kit/foundation/format.h"
#include "kit/foundation/runtime.h"

namespace kit {

namespace {

// Separates namespace URI, local name and prefix in the names expat hands
// over while processing namespaces; XML 1.0 text cannot contain it.
constexpr char NamespaceSeparator = '\x01';

// Entity expansion past this many bytes must stay within expat's default
// amplification factor (100x the document), or the parse fails.
constexpr unsigned long long AmplificationThreshold = 1 << 20;

constexpr size_t ParseSlice = 1 << 24;

// The deepest nesting of entity references and of elements a document may
// have (see xml_parser.h).
constexpr int MaxEntityDepth = XMLParserMaximumEntityDepth;
constexpr size_t MaxElementDepth = XMLParserMaximumElementDepth;

bool isNameByte(char c) { return c != ';' && c != '&' && c != '%' && !std::isspace(static_cast<unsigned char>(c)); }

long errorCodeFor(XML_Error error) {
  switch (error) {
    case XML_ERROR_NO_MEMORY: return XMLParserOutOfMemoryError;
    case XML_ERROR_NO_ELEMENTS: return XMLParserEmptyDocumentError;
    case XML_ERROR_INVALID_TOKEN: return XMLParserInvalidCharacterError;
    case XML_ERROR_UNCLOSED_TOKEN:
    case XML_ERROR_PARTIAL_CHAR: return XMLParserPrematureDocumentEndError;
    case XML_ERROR_TAG_MISMATCH: return XMLParserTagNameMismatchError;
    case XML_ERROR_DUPLICATE_ATTRIBUTE: return XMLParserAttributeRedefinedError;
    case XML_ERROR_JUNK_AFTER_DOC_ELEMENT: return XMLParserExtraContentError;
    case XML_ERROR_PARAM_ENTITY_REF: return XMLParserParsedEntityRefInInternalSubsetError;
    case XML_ERROR_UNDEFINED_ENTITY: return XMLParserUndeclaredEntityError;
    case XML_ERROR_RECURSIVE_ENTITY_REF:
    case XML_ERROR_AMPLIFICATION_LIMIT_BREACH: return XMLParserEntityRefLoopError;
    case XML_ERROR_ASYNC_ENTITY: return XMLParserEntityBoundaryError;
    case XML_ERROR_BAD_CHAR_REF: return XMLParserInvalidCharacterRefError;
    case XML_ERROR_BINARY_ENTITY_REF: return XMLParserUnparsedEntityError;
    case XML_ERROR_ATTRIBUTE_EXTERNAL_ENTITY_REF:
    case XML_ERROR_EXTERNAL_ENTITY_HANDLING: return XMLParserEntityIsExternalError;
    case XML_ERROR_MISPLACED_XML_PI: return XMLParserMisplacedXMLDeclarationError;
    case XML_ERROR_UNKNOWN_ENCODING: return XMLParserUnknownEncodingError;
    case XML_ERROR_INCORRECT_ENCODING: return XMLParserInvalidEncodingError;
    case XML_ERROR_UNCLOSED_CDATA_SECTION: return XMLParserCDATANotFinishedError;
    case XML_ERROR_NOT_STANDALONE: return XMLParserStandaloneValueError;
    case XML_ERROR_UNBOUND_PREFIX:
    case XML_ERROR_UNDECLARING_PREFIX:
    case XML_ERROR_RESERVED_PREFIX_XML:
    case XML_ERROR_RESERVED_PREFIX_XMLNS:
    case XML_ERROR_RESERVED_NAMESPACE_URI: return XMLParserNamespaceDeclarationError;
    case XML_ERROR_SYNTAX: return XMLParserNotWellBalancedError;
    case XML_ERROR_ABORTED: return XMLParserDelegateAbortedParseError;
    default: return XMLParserInternalError;
  }
}

// A name as expat gives it while processing namespaces: "uri SEP local SEP
// prefix", "uri SEP local" or "local".
struct ExpandedName {
  std::string local;
  Ref<String> namespaceURI;
  std::string qualified;
};

ExpandedName splitName(std::string_view name) {
  ExpandedName out;
  size_t first = name.find(NamespaceSeparator);
  if (first == std::string_view::npos) {
    out.local = out.qualified = std::string(name);
    return out;
  }
  out.namespaceURI = String::make(name.substr(0, first));
  std::string_view rest = name.substr(first + 1);
  size_t second = rest.find(NamespaceSeparator);
  out.local = std::string(rest.substr(0, second));
  out.qualified = second == std::string_view::npos ? out.local
                                                    : std::string(rest.substr(second + 1)) + ":" + out.local;
  return out;
}

}  // namespace

// The expat parser of one parse() and what it has gathered between events.
struct XMLParser::Reader {
  XMLParser& owner;
  Ref<XMLParserDelegate> delegate;
  XML_Parser expat = nullptr;
  std::string text;       // characters not yet delivered
  std::string cdata;      // the CDATA section being read
  bool inCDATA = false;
  bool sawElement = false;
  bool aborted = false;
  size_t elementDepth = 0;
  // A bound the document went past: the parse stops with this error.
  long limitCode = 0;
  std::string limitMessage;
  // Declared entities (general and parameter, apart) and how deeply the
  // references in their replacement text nest: an entity that refers to no
  // other has depth 1. Depths are kept up to date as declarations come, so
  // a document is stopped before any reference could be expanded past the
  // bound (expat expands nested references by recursion).
  struct Entity {
    bool declared = false;
    int depth = 0;
    std::vector<size_t> referencedBy;  // declared entities whose text refers to this one
  };
  std::unordered_map<std::string, size_t> entityIndex;
  std::vector<Entity> entities;
  std::exception_ptr thrown;  // from a delegate; rethrown once expat has returned

  Reader(XMLParser& parser, Ref<XMLParserDelegate> d) : owner(parser), delegate(std::move(d)) {}
  ~Reader() {
    if (expat) XML_ParserFree(expat);
  }

  // True while events should still reach the delegate.
  bool live() const { return !aborted && !thrown && !limitCode; }

  void stopAtLimit(long code, std::string message) {
    limitCode = code;
    limitMessage = std::move(message);
    XML_StopParser(expat, XML_FALSE);
  }

  size_t entityNamed(bool parameter, std::string_view name) {
    std::string key = (parameter ? "%" : "&") + std::string(name);
    auto [it, added] = entityIndex.emplace(std::move(key), entities.size());
    if (added) entities.emplace_back();
    return it->second;
  }

  static void XMLCALL entityDeclared(void* userData, const XML_Char* name, int parameter, const XML_Char* value,
                                     int valueLength, const XML_Char*, const XML_Char*, const XML_Char*,
                                     const XML_Char*) {
    Reader& r = of(userData);
    if (r.limitCode) return;
    const size_t self = r.entityNamed(parameter != 0, name);
    if (r.entities[self].declared) return;  // the first declaration is the one that holds
    r.entities[self].declared = true;
    int depth = 1;
    const std::string_view text = value ? std::string_view(value, static_cast<size_t>(valueLength)) : "";
    for (size_t at = 0; (at = text.find_first_of("&%", at)) != std::string_view::npos;) {
      const bool refersToParameter = text[at] == '%';
      size_t end = at + 1;
      while (end < text.size() && isNameByte(text[end])) ++end;
      if (end == at + 1 || end == text.size() || text[end] != ';' || text[at + 1] == '#') {
        at = end;
        continue;
      }
      const size_t other = r.entityNamed(refersToParameter, text.substr(at + 1, end - at - 1));
      r.entities[other].referencedBy.push_back(self);
      if (r.entities[other].declared) depth = std::max(depth, r.entities[other].depth + 1);
      at = end + 1;
    }
    // The new depth, and what it deepens among the entities that refer to
    // this one. Each depth only grows and stops at the bound, so this ends.
    std::vector<std::pair<size_t, int>> raise = {{self, depth}};
    while (!raise.empty()) {
      const auto [entity, newDepth] = raise.back();
      raise.pop_back();
      if (newDepth <= r.entities[entity].depth) continue;
      if (newDepth > MaxEntityDepth) {
        return r.stopAtLimit(XMLParserEntityRefLoopError,
                             formatString("Entity references nest deeper than %d", MaxEntityDepth));
      }
      r.entities[entity].depth = newDepth;
      for (size_t referrer : r.entities[entity].referencedBy) raise.emplace_back(referrer, newDepth + 1);
    }
  }

  // Runs a delegate event; a throw stops the parse and is rethrown later.
  template <class F>
  void deliver(F&& event) {
    if (!live()) return;
    try {
      if (delegate) event(*delegate);
    } catch (...) {
      thrown = std::current_exception();
      if (expat) XML_StopParser(expat, XML_FALSE);
    }
  }

  void flushText() {
    if (text.empty()) return;
    auto string = String::make(std::exchange(text, {}));
    deliver([&](XMLParserDelegate& d) { d.foundCharacters(owner, string); });
  }

  static Reader& of(void* userData) { return *static_cast<Reader*>(userData); }

  static void XMLCALL startElement(void* userData, const XML_Char* name, const XML_Char** attributes) {
    Reader& r = of(userData);
    r.sawElement = true;
    if (++r.elementDepth > MaxElementDepth) {
      return r.stopAtLimit(XMLParserInternalError, formatString("Elements nest deeper than %zu", MaxElementDepth));
    }
    r.flushText();
    if (!r.live()) return;
    auto attributeDictionary = MutableDictionary::make();
    for (const XML_Char** a = attributes; a[0]; a += 2) {
      std::string key = r.owner.shouldProcessNamespaces ? splitName(a[0]).qualified : std::string(a[0]);
      attributeDictionary->setObject(String::make(a[1]), String::make(key));
    }
    Ref<Dictionary> attrs = attributeDictionary;
    if (r.owner.shouldProcessNamespaces) {
      ExpandedName n = splitName(name);
      auto qualified = String::make(n.qualified);
      r.deliver([&](XMLParserDelegate& d) { d.didStartElement(r.owner, n.local, n.namespaceURI, qualified, attrs); });
    } else {
      r.deliver([&](XMLParserDelegate& d) { d.didStartElement(r.owner, name, nullptr, nullptr, attrs); });
    }
  }

  static void XMLCALL endElement(void* userData, const XML_Char* name) {
    Reader& r = of(userData);
    --r.elementDepth;
    r.flushText();
    if (r.owner.shouldProcessNamespaces) {
      ExpandedName n = splitName(name);
      auto qualified = String::make(n.qualified);
      r.deliver([&](XMLParserDelegate& d) { d.didEndElement(r.owner, n.local, n.namespaceURI, qualified); });
    } else {
      r.deliver([&](XMLParserDelegate& d) { d.didEndElement(r.owner, name, nullptr, nullptr); });
    }
  }

  static void XMLCALL characters(void* userData, const XML_Char* s, int length) {
    Reader& r = of(userData);
    if (!r.live()) return;
    (r.inCDATA ? r.cdata : r.text).append(s, static_cast<size_t>(length));
  }

  static void XMLCALL startCDATA(void* userData) {
    Reader& r = of(userData);
    r.flushText();
    r.inCDATA = true;
    r.cdata.clear();
  }

  static void XMLCALL endCDATA(void* userData) {
    Reader& r = of(userData);
    r.inCDATA = false;
    auto block = Data::make(std::exchange(r.cdata, {}));
    r.deliver([&](XMLParserDelegate& d) { d.foundCDATA(r.owner, block); });
  }

  static void XMLCALL comment(void* userData, const XML_Char* text) {
    Reader& r = of(userData);
    r.flushText();
    auto string = String::make(text);
    r.deliver([&](XMLParserDelegate& d) { d.foundComment(r.owner, string); });
  }

  static void XMLCALL processingInstruction(void* userData, const XML_Char* target, const XML_Char* data) {
    Reader& r = of(userData);
    r.flushText();
    auto string = String::make(data ? data : "");
    r.deliver([&](XMLParserDelegate& d) { d.foundProcessingInstruction(r.owner, target, string); });
  }

  static void XMLCALL startNamespace(void* userData, const XML_Char* prefix, const XML_Char* uri) {
    Reader& r = of(userData);
    r.flushText();
    auto namespaceURI = uri ? String::make(uri) : nullptr;
    r.deliver([&](XMLParserDelegate& d) { d.didStartMappingPrefix(r.owner, prefix ? prefix : "", namespaceURI); });
  }

  static void XMLCALL endNamespace(void* userData, const XML_Char* prefix) {
    Reader& r = of(userData);
    r.flushText();
    r.deliver([&](XMLParserDelegate& d) { d.didEndMappingPrefix(r.owner, prefix ? prefix : ""); });
  }

  // Markup with no handler of its own (the DTD, the XML declaration,
  // unexpanded entity references) is dropped.
  static void XMLCALL ignore(void*, const XML_Char*, int) {}
  static void XMLCALL skippedEntity(void*, const XML_Char*, int) {}
};

KIT_DEFINE_CLASS_NAMED(XMLParser, Object, "NSXMLParser") {}

Ref<XMLParser> XMLParser::make(const Ref<Data>& data) {
  return std::make_shared<XMLParser>(data ? Data::make(data->view()) : Data::make());
}

XMLParser::XMLParser(Ref<Data> data) : data_(std::move(data)) {}

XMLParser::~XMLParser() = default;

long XMLParser::lineNumber() const {
  return reader_ && reader_->expat ? static_cast<long>(XML_GetCurrentLineNumber(reader_->expat)) : line_;
}

long XMLParser::columnNumber() const {
  return reader_ && reader_->expat ? static_cast<long>(XML_GetCurrentColumnNumber(reader_->expat)) + 1 : column_;
}

void XMLParser::abortParsing() {
  if (!reader_ || reader_->aborted) return;
  reader_->aborted = true;
  XML_StopParser(reader_->expat, XML_FALSE);
}

std::string XMLParser::description() const {
  return formatString("<%s: %p, %lu bytes>", className(), static_cast<const void*>(this),
                      static_cast<unsigned long>(data_->length()));
}

bool XMLParser::parse() {
  if (started_) return false;
  started_ = true;
  Ref<Object> keepAlive = self();  // a delegate may let go of the parser mid-parse
  auto reader = std::make_unique<Reader>(*this, delegate_.lock());
  Reader& r = *reader;

  auto fail = [&](long code, const std::string& message) {
    auto info = MutableDictionary::make();
    info->setObject(Number::fromLong(line_), XMLParserErrorLineNumberKey);
    info->setObject(Number::fromLong(column_), XMLParserErrorColumnKey);
    info->setObject(String::make(message), XMLParserErrorMessageKey);
    error_ = Error::make(XMLParserErrorDomain, code, info);
    auto error = error_;
    r.aborted = false;  // the error itself still reaches the delegate
    r.deliver([&](XMLParserDelegate& d) { d.parseErrorOccurred(*this, error); });
  };

  if (data_->empty()) {
    line_ = 1;
    column_ = 1;
    fail(XMLParserEmptyDocumentError, "Document is empty");
    if (r.thrown) std::rethrow_exception(r.thrown);
    return false;
  }

  r.expat = shouldProcessNamespaces ? XML_ParserCreateNS(nullptr, NamespaceSeparator) : XML_ParserCreate(nullptr);
  if (!r.expat) throw std::bad_alloc();
  reader_ = std::move(reader);
  XML_SetUserData(r.expat, &r);
  if (shouldProcessNamespaces) XML_SetReturnNSTriplet(r.expat, 1);
  XML_SetElementHandler(r.expat, Reader::startElement, Reader::endElement);
  XML_SetCharacterDataHandler(r.expat, Reader::characters);
  XML_SetCdataSectionHandler(r.expat, Reader::startCDATA, Reader::endCDATA);
  XML_SetCommentHandler(r.expat, Reader::comment);
  XML_SetProcessingInstructionHandler(r.expat, Reader::processingInstruction);
  if (shouldProcessNamespaces && shouldReportNamespacePrefixes) {
    XML_SetNamespaceDeclHandler(r.expat, Reader::startNamespace, Reader::endNamespace);
  }
  if (!expandsInternalEntities) {
    // A default handler turns expansion off; the references go to the
    // skipped-entity handler.
    XML_SetDefaultHandler(r.expat, Reader::ignore);
    XML_SetSkippedEntityHandler(r.expat, Reader::skippedEntity);
  }
  XML_SetEntityDeclHandler(r.expat, Reader::entityDeclared);
  XML_SetParamEntityParsing(r.expat, XML_PARAM_ENTITY_PARSING_NEVER);
  XML_SetBillionLaughsAttackProtectionActivationThreshold(r.expat, AmplificationThreshold);

  r.deliver([&](XMLParserDelegate& d) { d.parserDidStartDocument(*this); });
  bool ok = r.live();
  // Fed in slices, since expat takes an int length.
  const std::string_view bytes = data_->view();
  for (size_t offset = 0; ok && offset < bytes.size();) {
    const size_t n = std::min<size_t>(bytes.size() - offset, ParseSlice);
    const bool last = offset + n == bytes.size();
    ok = XML_Parse(r.expat, bytes.data() + offset, static_cast<int>(n), last) == XML_STATUS_OK;
    offset += n;
  }
  line_ = static_cast<long>(XML_GetCurrentLineNumber(r.expat));
  column_ = static_cast<long>(XML_GetCurrentColumnNumber(r.expat)) + 1;
  XML_Error code = XML_GetErrorCode(r.expat);
  std::exception_ptr thrown = r.thrown;
  const bool aborted = r.aborted;
  const long limitCode = r.limitCode;
  if (limitCode) ok = false;

  if (!thrown) {
    if (limitCode) {
      r.limitCode = 0;  // the error itself still reaches the delegate
      fail(limitCode, r.limitMessage);
    } else if (ok && !aborted) {
      r.flushText();
      r.deliver([&](XMLParserDelegate& d) { d.parserDidEndDocument(*this); });
    } else if (aborted) {
      fail(XMLParserDelegateAbortedParseError, "The delegate aborted the parse");
    } else if (code == XML_ERROR_NO_ELEMENTS && r.sawElement) {
      fail(XMLParserPrematureDocumentEndError, "Premature end of data");  // the root was never closed
    } else {
      fail(errorCodeFor(code), XML_ErrorString(code));
    }
    thrown = r.thrown;
  }
  reader_.reset();
  if (thrown) std::rethrow_exception(thrown);
  return ok && !aborted;
}

}  // namespace kit
