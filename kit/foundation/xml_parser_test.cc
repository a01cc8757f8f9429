// The XML parser: events in document order, namespaces both ways, errors
// with their line and column, aborting from the delegate, and documents
// that try to read files (XXE) or multiply themselves through entities
// (billion laughs) getting neither.

#include "kit/foundation/xml_parser.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <vector>

#include "kit/foundation/format.h"
#include "kit/foundation/values.h"
#include "kit/testing/temp_directory.h"

namespace kit {
namespace {

// Writes every event as one line.
class EventLog : public XMLParserDelegate {
 public:
  std::vector<std::string> events;
  std::string abortAtElement;
  bool throwAtComment = false;
  Ref<Error> error;
  int errors = 0;
  long lineAtStart = 0;

  void parserDidStartDocument(XMLParser&) override { events.push_back("start"); }
  void parserDidEndDocument(XMLParser&) override { events.push_back("end"); }
  void didStartElement(XMLParser& parser, const std::string& name, const Ref<String>& uri,
                       const Ref<String>& qualified, const Ref<Dictionary>& attributes) override {
    std::string line = "<" + name;
    if (uri) line += " {" + uri->utf8() + "}";
    if (qualified) line += " q=" + qualified->utf8();
    for (const auto& [k, v] : attributes->entries()) line += " " + describe(k) + "=" + describe(v);
    events.push_back(line + ">");
    if (name == "item") lineAtStart = parser.lineNumber();
    if (name == abortAtElement) parser.abortParsing();
  }
  void didEndElement(XMLParser&, const std::string& name, const Ref<String>& uri, const Ref<String>&) override {
    events.push_back("</" + name + (uri ? " {" + uri->utf8() + "}" : std::string()) + ">");
  }
  void didStartMappingPrefix(XMLParser&, const std::string& prefix, const Ref<String>& uri) override {
    events.push_back("map " + prefix + "=" + describe(uri));
  }
  void didEndMappingPrefix(XMLParser&, const std::string& prefix) override { events.push_back("unmap " + prefix); }
  void foundCharacters(XMLParser&, const Ref<String>& text) override { events.push_back("text " + text->utf8()); }
  void foundCDATA(XMLParser&, const Ref<Data>& block) override { events.push_back("cdata " + block->toString()); }
  void foundComment(XMLParser&, const Ref<String>& text) override {
    if (throwAtComment) throw std::runtime_error("delegate failed");
    events.push_back("comment" + text->utf8());
  }
  void foundProcessingInstruction(XMLParser&, const std::string& target, const Ref<String>& data) override {
    events.push_back("pi " + target + " " + data->utf8());
  }
  void parseErrorOccurred(XMLParser&, const Ref<Error>& e) override {
    error = e;
    ++errors;
  }

  std::string joined() const {
    std::string out;
    for (const auto& e : events) out += e + "|";
    return out;
  }
};

struct Parsed {
  bool ok;
  std::shared_ptr<EventLog> log;
  Ref<XMLParser> parser;
};

Parsed parse(std::string_view xml, const std::function<void(XMLParser&, EventLog&)>& setUp = nullptr) {
  auto log = std::make_shared<EventLog>();
  auto parser = XMLParser::make(Data::make(xml));
  parser->setDelegate(log);
  if (setUp) setUp(*parser, *log);
  bool ok = parser->parse();
  return {ok, log, parser};
}

long errorInfo(const Ref<Error>& error, const char* key) {
  auto n = as<Number>(error->userInfo()->objectForKey(std::string_view(key)));
  return n ? n->longLongValue() : -1;
}

TEST(XMLParser, EventsArriveInDocumentOrder) {
  auto p = parse(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!-- head -->\n"
      "<list count=\"2\" kind='roles'>"
      "<item id=\"1\">Knight &amp; \n&#x4E2D;<![CDATA[<raw> & ]]>tail</item>"
      "<?render fast?><br/>"
      "</list>");
  EXPECT_TRUE(p.ok) << describe(p.parser->parserError());
  EXPECT_FALSE(p.parser->parserError());
  EXPECT_EQ(p.log->joined(),
            "start|comment head |<list count=2 kind=roles>|<item id=1>|text Knight & \n中|cdata <raw> & |text tail|"
            "</item>|pi render fast|<br>|</br>|</list>|end|");
  EXPECT_EQ(p.log->errors, 0);
  EXPECT_EQ(p.log->lineAtStart, 3);
  EXPECT_FALSE(p.parser->parse());  // a parser reads its document once

  // The document is copied; the delegate is not retained.
  auto bytes = MutableData::make({'<', 'a', '/', '>'});
  auto parser = XMLParser::make(bytes);
  bytes->setLength(0);
  Weak<EventLog> weak;
  {
    auto log = std::make_shared<EventLog>();
    weak = log;
    parser->setDelegate(log);
  }
  EXPECT_TRUE(weak.expired());
  EXPECT_TRUE(parser->parse());
  EXPECT_EQ(parser->description().find("<NSXMLParser: 0x"), 0u);
}

TEST(XMLParser, NamespacesAsWrittenOrProcessed) {
  const char* xml = "<r xmlns=\"urn:d\" xmlns:g=\"urn:g\"><g:item g:id=\"7\" plain=\"x\"/><none xmlns=\"\"/></r>";
  auto plain = parse(xml);
  ASSERT_TRUE(plain.ok);
  EXPECT_EQ(plain.log->joined(),
            "start|<r xmlns=urn:d xmlns:g=urn:g>|<g:item g:id=7 plain=x>|</g:item>|<none xmlns=>|</none>|</r>|end|");

  auto processed = parse(xml, [](XMLParser& parser, EventLog&) {
    parser.shouldProcessNamespaces = true;
    parser.shouldReportNamespacePrefixes = true;
  });
  ASSERT_TRUE(processed.ok) << describe(processed.parser->parserError());
  EXPECT_EQ(processed.log->joined(),
            "start|map =urn:d|map g=urn:g|<r {urn:d} q=r>|<item {urn:g} q=g:item g:id=7 plain=x>|</item {urn:g}>|"
            "map =(null)|<none q=none>|</none>|unmap |</r {urn:d}>|unmap g|unmap |end|");

  // An undeclared prefix is an error only when namespaces are processed.
  EXPECT_TRUE(parse("<x:a/>").ok);
  auto unbound = parse("<x:a/>", [](XMLParser& parser, EventLog&) { parser.shouldProcessNamespaces = true; });
  EXPECT_FALSE(unbound.ok);
  EXPECT_EQ(unbound.parser->parserError()->code(), XMLParserNamespaceDeclarationError);
}

TEST(XMLParser, ErrorsEndTheParseWithCodeLineAndColumn) {
  struct Case {
    const char* xml;
    long code;
    long line;
    long column;
  };
  for (const Case& c : std::vector<Case>{
           {"<a>\n  <b></c>\n</a>", XMLParserTagNameMismatchError, 2, 8},
           {"", XMLParserEmptyDocumentError, 1, 1},
           {"<a>&nope;</a>", XMLParserUndeclaredEntityError, 1, 4},
           {"<a/><b/>", XMLParserExtraContentError, 1, 5},
           {"<a><b>", XMLParserPrematureDocumentEndError, 1, 7},
           {"<a x='1' x='2'/>", XMLParserAttributeRedefinedError, 1, 10},
           {"<a>\x01</a>", XMLParserInvalidCharacterError, 1, 4},
           {"not xml", XMLParserNotWellBalancedError, 1, 1},
           {"<!-- only a comment -->", XMLParserEmptyDocumentError, 1, 24},
       }) {
    SCOPED_TRACE(c.xml);
    auto p = parse(c.xml);
    EXPECT_FALSE(p.ok);
    auto error = p.parser->parserError();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), XMLParserErrorDomain);
    EXPECT_EQ(error->code(), c.code);
    EXPECT_EQ(errorInfo(error, XMLParserErrorLineNumberKey), c.line);
    EXPECT_EQ(errorInfo(error, XMLParserErrorColumnKey), c.column);
    EXPECT_TRUE(isKind<String>(error->userInfo()->objectForKey(std::string_view(XMLParserErrorMessageKey))));
    EXPECT_EQ(p.parser->lineNumber(), c.line);
    EXPECT_EQ(p.log->errors, 1);
    EXPECT_EQ(p.log->error, error);
    EXPECT_EQ(p.log->joined().find("end|"), std::string::npos);
  }
}

TEST(XMLParser, TheDelegateCanAbortOrFail) {
  auto p = parse("<list><item/><item/><skip>text</skip></list>",
                 [](XMLParser&, EventLog& log) { log.abortAtElement = "item"; });
  EXPECT_FALSE(p.ok);
  ASSERT_TRUE(p.parser->parserError());
  EXPECT_EQ(p.parser->parserError()->code(), XMLParserDelegateAbortedParseError);
  EXPECT_EQ(p.log->joined(), "start|<list>|<item>|");  // nothing after the abort
  EXPECT_EQ(p.log->errors, 1);

  // A delegate that throws stops the parse; the exception reaches the caller.
  auto log = std::make_shared<EventLog>();
  log->throwAtComment = true;
  auto parser = XMLParser::make(Data::make(std::string_view("<a><!--x--><b/></a>")));
  parser->setDelegate(log);
  EXPECT_THROW(parser->parse(), std::runtime_error);
  EXPECT_EQ(log->joined(), "start|<a>|");
}

TEST(XMLParser, ExternalEntitiesAreNeverRead) {
  test::TempDirectory dir;
  std::string secret = dir.path() + "/secret.txt";
  std::ofstream(secret) << "TOP-SECRET";
  std::string dtd = dir.path() + "/evil.dtd";
  std::ofstream(dtd) << "<!ENTITY leak \"TOP-SECRET\">";
  const std::vector<std::string> documents = {
      "<!DOCTYPE r [<!ENTITY x SYSTEM \"file://" + secret + "\">]><r>&x;</r>",
      "<!DOCTYPE r [<!ENTITY x PUBLIC \"-//X\" \"file://" + secret + "\">]><r>before&x;after</r>",
      "<!DOCTYPE r SYSTEM \"file://" + dtd + "\"><r>&leak;</r>",
      "<!DOCTYPE r [<!ENTITY % p SYSTEM \"file://" + dtd + "\"> %p;]><r>&leak;</r>",
  };
  for (bool expand : {false, true}) {
    for (const auto& xml : documents) {
      SCOPED_TRACE(xml);
      auto p = parse(xml, [&](XMLParser& parser, EventLog&) { parser.expandsInternalEntities = expand; });
      EXPECT_TRUE(p.ok) << describe(p.parser->parserError());
      EXPECT_EQ(p.log->joined().find("TOP-SECRET"), std::string::npos) << p.log->joined();
    }
  }
  // In an attribute an external entity is an error, not a read.
  auto attribute =
      parse("<!DOCTYPE r [<!ENTITY x SYSTEM \"file://" + secret + "\">]><r a=\"&x;\"/>");
  EXPECT_FALSE(attribute.ok);
  EXPECT_EQ(attribute.parser->parserError()->code(), XMLParserEntityIsExternalError);
}

TEST(XMLParser, EntityExpansionIsOffByDefaultAndBounded) {
  std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">\n";
  for (int i = 1; i <= 9; ++i) {
    laughs += formatString("<!ENTITY lol%d \"", i);
    for (int j = 0; j < 10; ++j) laughs += i == 1 ? "&lol;" : formatString("&lol%d;", i - 1);
    laughs += "\">\n";
  }
  laughs += "]>\n";

  auto timed = [](const std::function<void()>& run) {
    auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::steady_clock::now() - start;
  };
  // Off (the default): the reference in text is skipped.
  Parsed off;
  auto offTime = timed([&] { off = parse(laughs + "<lolz>a&lol9;b</lolz>"); });
  EXPECT_TRUE(off.ok);
  EXPECT_EQ(off.log->joined(), "start|<lolz>|text ab|</lolz>|end|");
  EXPECT_LT(offTime, std::chrono::seconds(2));

  // On, or inside an attribute value: the amplification limit ends it.
  for (const std::string& body : {std::string("<lolz>&lol9;</lolz>"), std::string("<lolz a=\"&lol9;\"/>")}) {
    for (bool expand : {true, false}) {
      if (!expand && body.find("a=") == std::string::npos) continue;
      SCOPED_TRACE(body);
      Parsed p;
      auto t = timed([&] {
        p = parse(laughs + body, [&](XMLParser& parser, EventLog&) { parser.expandsInternalEntities = expand; });
      });
      EXPECT_FALSE(p.ok);
      ASSERT_TRUE(p.parser->parserError());
      EXPECT_EQ(p.parser->parserError()->code(), XMLParserEntityRefLoopError);
      EXPECT_LT(t, std::chrono::seconds(2));
    }
  }

  // An ordinary entity expands when asked to.
  std::string small = "<!DOCTYPE r [<!ENTITY co \"Company\">]><r>A &co; B</r>";
  EXPECT_EQ(parse(small).log->joined(), "start|<r>|text A  B|</r>|end|");
  EXPECT_EQ(parse(small, [](XMLParser& parser, EventLog&) { parser.expandsInternalEntities = true; }).log->joined(),
            "start|<r>|text A Company B|</r>|end|");
}

// A document whose root refers to a chain of `depth` entities, each the
// next one's reference and the last "x", declared from the first or from
// the last; `inText` puts the reference in text instead of an attribute.
std::string entityChain(int depth, bool lastFirst, bool inText) {
  std::vector<std::string> declarations;
  for (int i = 1; i <= depth; ++i) {
    declarations.push_back(formatString("<!ENTITY e%d \"", i) + (i == depth ? "x" : formatString("&e%d;", i + 1)) +
                           "\">");
  }
  if (lastFirst) std::reverse(declarations.begin(), declarations.end());
  std::string xml = "<!DOCTYPE r [";
  for (const auto& declaration : declarations) xml += declaration;
  return xml + "]>" + (inText ? "<r>&e1;</r>" : "<r a=\"&e1;\"/>");
}

TEST(XMLParser, EntityReferencesNestNoDeeperThanTheBound) {
  for (bool lastFirst : {false, true}) {
    SCOPED_TRACE(lastFirst ? "declared from the last" : "declared from the first");
    auto deepest = parse(entityChain(XMLParserMaximumEntityDepth, lastFirst, false));
    EXPECT_TRUE(deepest.ok);
    EXPECT_EQ(deepest.log->joined(), "start|<r a=x>|</r>|end|");

    // One more, or a chain long enough to exhaust the stack were it
    // expanded, in an attribute or in text being expanded: an error.
    for (int depth : {XMLParserMaximumEntityDepth + 1, 100'000}) {
      for (bool inText : {false, true}) {
        auto p = parse(entityChain(depth, lastFirst, inText),
                       [](XMLParser& parser, EventLog&) { parser.expandsInternalEntities = true; });
        EXPECT_FALSE(p.ok) << depth;
        ASSERT_TRUE(p.parser->parserError());
        EXPECT_EQ(p.parser->parserError()->code(), XMLParserEntityRefLoopError);
        EXPECT_EQ(p.log->errors, 1);
        EXPECT_EQ(p.log->events, std::vector<std::string>{"start"}) << "stopped within the DTD";
      }
    }
  }
  // A loop has no depth at all.
  auto loop = parse("<!DOCTYPE r [<!ENTITY a \"&b;\"><!ENTITY b \"&a;\">]><r/>");
  EXPECT_FALSE(loop.ok);
  EXPECT_EQ(loop.parser->parserError()->code(), XMLParserEntityRefLoopError);
  // Character references and text that only looks like a reference are not
  // references.
  auto plain = parse("<!DOCTYPE r [<!ENTITY a \"&#38;#38; &#37;a;\">]><r b=\"&a;\"/>");
  EXPECT_TRUE(plain.ok) << describe(plain.parser->parserError());
  EXPECT_EQ(plain.log->joined(), "start|<r b=& %a;>|</r>|end|");
}

TEST(XMLParser, ElementsNestNoDeeperThanTheBound) {
  auto nested = [](size_t depth) {
    std::string xml;
    for (size_t i = 0; i < depth; ++i) xml += "<a>";
    for (size_t i = 0; i < depth; ++i) xml += "</a>";
    return xml;
  };
  auto deepest = parse(nested(XMLParserMaximumElementDepth));
  EXPECT_TRUE(deepest.ok);
  EXPECT_EQ(deepest.log->events.size(), 2 * XMLParserMaximumElementDepth + 2);
  for (size_t depth : {XMLParserMaximumElementDepth + 1, size_t{1'000'000}}) {
    auto p = parse(nested(depth));
    EXPECT_FALSE(p.ok);
    ASSERT_TRUE(p.parser->parserError());
    EXPECT_EQ(p.parser->parserError()->code(), XMLParserInternalError);
    EXPECT_EQ(p.log->errors, 1);
    EXPECT_EQ(p.log->events.size(), XMLParserMaximumElementDepth + 1) << "the document start and every element within";
  }
}

}  // namespace
}  // namespace kit
