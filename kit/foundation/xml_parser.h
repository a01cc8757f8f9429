// The event-driven XML parser: a parser object over a document's bytes that
// walks it once and tells its delegate what it meets, in document order:
// the document's start and end, each element's start (with its attributes)
// and end, namespace prefix mappings, text, CDATA blocks, comments and
// processing instructions, and the first error with its line and column.
// parse() says whether the document was well-formed and read to the end; a
// delegate can stop it early with abortParsing().
//
// Safety: references to entities declared in the document's DTD are not
// expanded in text unless expandsInternalEntities is set (they are skipped),
// and external entities (SYSTEM / PUBLIC, the external DTD subset,
// parameter entities) are never read: the parser does no I/O of its own.
// References inside attribute values are expanded, as XML requires, under
// an amplification limit: a document whose entities multiply its size
// (the "billion laughs") fails with XMLParserEntityRefLoopError instead of
// filling memory. The same limit applies when expansion is switched on.
// Entity references nest at most XMLParserMaximumEntityDepth deep (an
// entity whose text refers to another is one level deeper than it): a DTD
// that declares deeper nesting, or a loop, fails with
// XMLParserEntityRefLoopError as soon as the declaration that makes it
// comes. Elements nest at most XMLParserMaximumElementDepth deep; one more
// fails with XMLParserInternalError.
//
// Text between two other events is delivered in one foundCharacters call.
// Lines and columns count from 1; columns count bytes of the document.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "kit/foundation/data.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/error.h"
#include "kit/foundation/string.h"

namespace kit {

inline constexpr const char* XMLParserErrorDomain = "NSXMLParserErrorDomain";
// User-info keys of a parse error.
inline constexpr const char* XMLParserErrorLineNumberKey = "NSXMLParserErrorLineNumber";
inline constexpr const char* XMLParserErrorColumnKey = "NSXMLParserErrorColumn";
inline constexpr const char* XMLParserErrorMessageKey = "NSXMLParserErrorMessage";

// The platform's parse error codes (those this parser reports).
inline constexpr int XMLParserMaximumEntityDepth = 64;
inline constexpr size_t XMLParserMaximumElementDepth = 10000;

enum XMLParserError : long {
  XMLParserInternalError = 1,
  XMLParserOutOfMemoryError = 2,
  XMLParserEmptyDocumentError = 4,
  XMLParserPrematureDocumentEndError = 5,
  XMLParserInvalidCharacterRefError = 8,
  XMLParserInvalidCharacterError = 9,
  XMLParserUndeclaredEntityError = 26,
  XMLParserUnparsedEntityError = 28,
  XMLParserEntityIsExternalError = 29,
  XMLParserUnknownEncodingError = 31,
  XMLParserNamespaceDeclarationError = 35,
  XMLParserAttributeRedefinedError = 42,
  XMLParserCDATANotFinishedError = 63,
  XMLParserMisplacedXMLDeclarationError = 64,
  XMLParserTagNameMismatchError = 76,
  XMLParserStandaloneValueError = 78,
  XMLParserInvalidEncodingError = 81,
  XMLParserNotWellBalancedError = 85,
  XMLParserExtraContentError = 86,
  XMLParserParsedEntityRefInInternalSubsetError = 88,
  XMLParserEntityRefLoopError = 89,
  XMLParserEntityBoundaryError = 90,
  XMLParserDelegateAbortedParseError = 512,
};

class XMLParser;

// Every event has an empty default body: implement what you need.
class XMLParserDelegate {
 public:
  virtual ~XMLParserDelegate() = default;

  virtual void parserDidStartDocument(XMLParser&) {}
  virtual void parserDidEndDocument(XMLParser&) {}
  // Without namespace processing `elementName` is the name as written and
  // `namespaceURI` and `qualifiedName` are nil; with it, `elementName` is
  // the local name, `qualifiedName` the name as written. `attributes` maps
  // attribute names (as written) to values, in document order.
  virtual void didStartElement(XMLParser&, const std::string& /*elementName*/, const Ref<String>& /*namespaceURI*/,
                               const Ref<String>& /*qualifiedName*/, const Ref<Dictionary>& /*attributes*/) {}
  virtual void didEndElement(XMLParser&, const std::string& /*elementName*/, const Ref<String>& /*namespaceURI*/,
                             const Ref<String>& /*qualifiedName*/) {}
  // With namespace processing and prefix reporting on; "" is the default
  // namespace.
  virtual void didStartMappingPrefix(XMLParser&, const std::string& /*prefix*/, const Ref<String>& /*namespaceURI*/) {}
  virtual void didEndMappingPrefix(XMLParser&, const std::string& /*prefix*/) {}
  virtual void foundCharacters(XMLParser&, const Ref<String>& /*text*/) {}
  virtual void foundCDATA(XMLParser&, const Ref<Data>& /*block*/) {}
  virtual void foundComment(XMLParser&, const Ref<String>& /*comment*/) {}
  virtual void foundProcessingInstruction(XMLParser&, const std::string& /*target*/, const Ref<String>& /*data*/) {}
  // Once, for the error that ends the parse (an abort included).
  virtual void parseErrorOccurred(XMLParser&, const Ref<Error>& /*error*/) {}
};

class XMLParser : public Object {
 public:
  // A parser over a copy of the bytes (nil reads as an empty document).
  static Ref<XMLParser> make(const Ref<Data>& data);
  explicit XMLParser(Ref<Data> data);  // use make()
  ~XMLParser() override;

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  // The delegate is not retained.
  Ref<XMLParserDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const Ref<XMLParserDelegate>& delegate) { delegate_ = delegate; }

  bool shouldProcessNamespaces = false;
  bool shouldReportNamespacePrefixes = false;
  // Off: references to the DTD's own entities in text are skipped.
  bool expandsInternalEntities = false;

  // Reads the document, telling the delegate as it goes. YES when it was
  // well-formed and read to the end; NO on an error or an abort, and for a
  // second call (a parser reads its document once).
  bool parse();
  // From a delegate event: stop after it. parse() then answers NO and the
  // error is XMLParserDelegateAbortedParseError.
  void abortParsing();

  // The error that ended the parse, or nil.
  Ref<Error> parserError() const { return error_; }
  // Where the parser is (while parsing) or stopped; 0 before parse().
  long lineNumber() const;
  long columnNumber() const;

  const Ref<Data>& data() const { return data_; }
  std::string description() const override;

 private:
  struct Reader;
  Ref<Data> data_;
  Weak<XMLParserDelegate> delegate_;
  std::unique_ptr<Reader> reader_;
  Ref<Error> error_;
  bool started_ = false;
  long line_ = 0;
  long column_ = 0;
};

}  // namespace kit
