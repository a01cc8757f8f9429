// Property lists: every type survives XML and binary round trips, the
// format is detected, and malformed or hostile data is refused with an
// error instead of a crash.

#include "kit/foundation/property_list.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "kit/foundation/data_file.h"
#include "kit/foundation/file_error.h"
#include "kit/foundation/serial_date.h"
#include "kit/foundation/values.h"
#include "kit/testing/temp_directory.h"

namespace kit {
namespace {

Ref<Dictionary> sample() {
  return dict({
      {"name", "领取成功"},
      {"count", -42},
      {"big", 18446744073709551615ull},
      {"ratio", 2.5},
      {"on", true},
      {"off", false},
      {"blob", Data::make(std::string("\x00\x01\xfe\xff", 4))},
      {"when", makeDateValue(737460000)},
      {"list", array({1, "two", array({}), dict({})})},
      {"nested", dict({{"z", 1}, {"a", 2}})},
  });
}

void expectSameTypes(const Id& got) {
  ASSERT_TRUE(isKind<Dictionary>(got));
  EXPECT_TRUE(isEqual(got, sample())) << describe(got);
  // Order of keys survives, at both levels.
  EXPECT_EQ(describe(as<Dictionary>(got)->allKeys()), describe(sample()->allKeys()));
  EXPECT_EQ(describe(as<Dictionary>(got["nested"])->allKeys()), "(\n    z,\n    a\n)");
  EXPECT_EQ(as<Number>(got["count"])->longLongValue(), -42);
  EXPECT_EQ(as<Number>(got["big"])->unsignedLongLongValue(), 18446744073709551615ull);
  EXPECT_EQ(as<Number>(got["ratio"])->kind(), Number::Kind::Double);
  EXPECT_EQ(as<Number>(got["on"]), Number::yes());
  EXPECT_EQ(as<Number>(got["off"]), Number::no());
  EXPECT_EQ(as<Data>(got["blob"])->length(), 4u);
  EXPECT_EQ(dateValueSeconds(got["when"]), 737460000.0);
}

TEST(PropertyList, XMLRoundTripKeepsTypesAndOrder) {
  Ref<Error> error;
  Ref<Data> xml = PropertyListSerialization::dataWithPropertyList(sample(), PropertyListFormat::XML, &error);
  ASSERT_TRUE(xml) << describe(error);
  EXPECT_TRUE(xml->toString().starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist"));
  EXPECT_NE(xml->toString().find("\t<key>count</key>\n\t<integer>-42</integer>"), std::string::npos);
  PropertyListFormat format = PropertyListFormat::OpenStep;
  Id back = PropertyListSerialization::propertyListWithData(xml, 0, &format, &error);
  EXPECT_EQ(format, PropertyListFormat::XML);
  expectSameTypes(back);
}

TEST(PropertyList, BinaryRoundTripKeepsTypesAndOrder) {
  Ref<Data> bin = PropertyListSerialization::dataWithPropertyList(sample(), PropertyListFormat::Binary);
  ASSERT_TRUE(bin);
  EXPECT_TRUE(bin->toString().starts_with("bplist00"));
  PropertyListFormat format = PropertyListFormat::XML;
  expectSameTypes(PropertyListSerialization::propertyListWithData(bin, 0, &format));
  EXPECT_EQ(format, PropertyListFormat::Binary);

  // Binary dates keep fractions of a second; XML dates are whole seconds.
  Id when = array({makeDateValue(737460000.25)});
  Id binWhen = PropertyListSerialization::propertyListWithData(
      PropertyListSerialization::dataWithPropertyList(when, PropertyListFormat::Binary));
  EXPECT_EQ(dateValueSeconds(binWhen[0]), 737460000.25);
  Id xmlWhen = PropertyListSerialization::propertyListWithData(
      PropertyListSerialization::dataWithPropertyList(when, PropertyListFormat::XML));
  EXPECT_EQ(dateValueSeconds(xmlWhen[0]), 737460000.0);
}

TEST(PropertyList, ReadsAHandWrittenInfoPlist) {
  const char* text = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<!-- the application's settings -->
<dict>
  <key>CFBundleIdentifier</key>
  <string>com.example.game</string>
  <key>Escaped</key>
  <string>a &lt;b&gt; &amp; c</string>
  <key>Flag</key>
  <true/>
  <key>Servers</key>
  <array>
    <string>http://127.0.0.1:8080/</string>
  </array>
  <key>Empty</key>
  <dict/>
</dict>
</plist>
)";
  Id plist = PropertyListSerialization::propertyListWithData(Data::make(text));
  ASSERT_TRUE(plist);
  EXPECT_EQ(describe(plist["CFBundleIdentifier"]), "com.example.game");
  EXPECT_EQ(describe(plist["Escaped"]), "a <b> & c");
  EXPECT_EQ(plist["Flag"], Id(Number::yes()));
  EXPECT_EQ(describe(plist["Servers"][0]), "http://127.0.0.1:8080/");
  EXPECT_TRUE(isKind<Dictionary>(plist["Empty"]));
}

TEST(PropertyList, MutabilityOptions) {
  Ref<Data> xml = PropertyListSerialization::dataWithPropertyList(sample(), PropertyListFormat::XML);
  Id plain = PropertyListSerialization::propertyListWithData(xml);
  EXPECT_FALSE(isKind<MutableDictionary>(plain));
  EXPECT_FALSE(isKind<MutableArray>(plain["list"]));

  Id containers = PropertyListSerialization::propertyListWithData(xml, PropertyListMutableContainers);
  EXPECT_TRUE(isKind<MutableDictionary>(containers));
  EXPECT_TRUE(isKind<MutableArray>(containers["list"]));
  EXPECT_FALSE(isKind<MutableString>(containers["name"]));
  EXPECT_FALSE(isKind<MutableData>(containers["blob"]));

  Id leaves = PropertyListSerialization::propertyListWithData(xml, PropertyListMutableContainersAndLeaves);
  EXPECT_TRUE(isKind<MutableDictionary>(leaves["nested"]));
  EXPECT_TRUE(isKind<MutableString>(leaves["name"]));
  EXPECT_TRUE(isKind<MutableData>(leaves["blob"]));

  Id copy = PropertyListSerialization::deepCopy(leaves);
  EXPECT_TRUE(isEqual(copy, leaves));
  EXPECT_FALSE(isKind<MutableDictionary>(copy));
  EXPECT_FALSE(isKind<MutableString>(copy["name"]));
  EXPECT_FALSE(isKind<MutableArray>(copy["list"]));
  EXPECT_EQ(PropertyListSerialization::deepCopy(array({null()})), nullptr);
}

TEST(PropertyList, InvalidObjectsAreAnErrorOnWrite) {
  for (const Id& bad : {Id(array({null()})), Id(dict({{1, "x"}})), Id(array({str(std::string("a\0b", 3))})),
                        Id(array({String::fromUTF16(u"\xD800")})), Id(array({makeDateValue(1e12)}))}) {
    Ref<Error> error;
    EXPECT_EQ(PropertyListSerialization::dataWithPropertyList(bad, PropertyListFormat::Binary, &error), nullptr)
        << describe(bad);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), CocoaErrorDomain);
    EXPECT_EQ(error->code(), PropertyListWriteInvalidError);
  }
  Ref<Error> error;
  PropertyListSerialization::dataWithPropertyList(array({null()}), PropertyListFormat::XML, &error);
  EXPECT_NE(describe(error).find("property lists cannot contain objects of type 'NSNull'"), std::string::npos);

  EXPECT_TRUE(PropertyListSerialization::propertyListIsValidForFormat(sample(), PropertyListFormat::Binary));
  EXPECT_FALSE(PropertyListSerialization::propertyListIsValidForFormat(sample(), PropertyListFormat::OpenStep));
  EXPECT_TRUE(PropertyListSerialization::propertyListIsValidForFormat(array({"x", Data::make("y")}),
                                                                      PropertyListFormat::OpenStep));
  EXPECT_FALSE(PropertyListSerialization::propertyListIsValidForFormat(array({null()}), PropertyListFormat::XML));

  auto loop = MutableArray::make();
  loop->addObject(loop);
  EXPECT_EQ(PropertyListSerialization::dataWithPropertyList(loop, PropertyListFormat::XML, &error), nullptr);
  EXPECT_FALSE(PropertyListSerialization::propertyListIsValidForFormat(loop, PropertyListFormat::XML));
  loop->removeAllObjects();
}

// A binary property list assembled by hand: one-byte references, two-byte
// offsets.
std::string binaryPlist(const std::vector<std::string>& objects, uint8_t top) {
  std::string out = "bplist00";
  std::vector<size_t> offsets;
  for (const auto& o : objects) {
    offsets.push_back(out.size());
    out += o;
  }
  size_t table = out.size();
  for (size_t off : offsets) out += static_cast<char>(off >> 8), out += static_cast<char>(off & 0xFF);
  std::string trailer(32, '\0');
  trailer[6] = 2;  // offset size
  trailer[7] = 1;  // reference size
  trailer[15] = static_cast<char>(objects.size());
  trailer[23] = static_cast<char>(top);
  trailer[30] = static_cast<char>(table >> 8);
  trailer[31] = static_cast<char>(table & 0xFF);
  return out + trailer;
}

Ref<Error> readFailure(const std::string& bytes) {
  Ref<Error> error;
  Id v = PropertyListSerialization::propertyListWithData(Data::make(bytes), 0, nullptr, &error);
  EXPECT_EQ(v, nullptr) << describe(v);
  return error;
}

TEST(PropertyList, MalformedDataIsAnError) {
  Ref<Data> bin = PropertyListSerialization::dataWithPropertyList(sample(), PropertyListFormat::Binary);
  Ref<Data> xml = PropertyListSerialization::dataWithPropertyList(sample(), PropertyListFormat::XML);
  for (const std::string& bytes :
       {std::string(), std::string("not a plist"), std::string("{ a = b; }"), bin->toString().substr(0, 60),
        std::string("bplist00"), xml->toString().substr(0, xml->length() / 2),
        std::string("<plist><dict><key>a</key><string>x</dict></plist>")}) {
    Ref<Error> error = readFailure(bytes);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), PropertyListReadCorruptError) << bytes;
  }
  // Corrupting any single byte of a binary plist never crashes.
  std::string bytes = bin->toString();
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::string bad = bytes;
    bad[i] = static_cast<char>(bad[i] ^ 0x5A);
    PropertyListSerialization::propertyListWithData(Data::make(bad));
  }
}

TEST(PropertyList, HostileStructuresAreRefused) {
  // Deep XML nesting overflows a recursive parser's stack.
  std::string deep = "<plist version=\"1.0\">";
  for (int i = 0; i < 200000; ++i) deep += "<array>";
  for (int i = 0; i < 200000; ++i) deep += "</array>";
  deep += "</plist>";
  EXPECT_NE(describe(readFailure(deep)).find("nests too deeply"), std::string::npos);

  // A binary array that contains itself.
  EXPECT_NE(describe(readFailure(binaryPlist({"\xA1\x01", std::string("\xA1\x00", 2)}, 0))).find("refers to itself"),
            std::string::npos);

  // Each array holds the next one twice: 2^40 values once expanded.
  std::vector<std::string> laughs;
  for (int i = 0; i < 40; ++i) laughs.push_back(std::string("\xA2") + char(i + 1) + char(i + 1));
  laughs.push_back(std::string("\x10\x00", 2));
  EXPECT_NE(describe(readFailure(binaryPlist(laughs, 0))).find("too many values"), std::string::npos);

  // libplist aborts on a string holding NUL; such data never reaches it.
  EXPECT_NE(describe(readFailure(binaryPlist({std::string("\x53" "a\0b", 4)}, 0))).find("NUL"), std::string::npos);
  EXPECT_NE(describe(readFailure(binaryPlist({std::string("\x61\0\0", 3)}, 0))).find("NUL"), std::string::npos);

  EXPECT_NE(describe(readFailure(std::string("<plist><string>a\0b</string></plist>", 36))).find("NUL"),
            std::string::npos);

  // A reference past the object table.
  readFailure(binaryPlist({"\xA1\x09"}, 0));

  // A modest shared structure is fine.
  std::vector<std::string> shared{std::string("\xA3\x01\x01\x01"), std::string("\x51x")};
  Id v = PropertyListSerialization::propertyListWithData(Data::make(binaryPlist(shared, 0)));
  EXPECT_EQ(describe(v), "(\n    x,\n    x,\n    x\n)");
}

TEST(PropertyListFiles, WriteReadAndFailures) {
  test::TempDirectory temp("kit-plist");
  const std::string& dir_ = temp.path();
  std::string path = dir_ + "/settings.plist";
  Ref<Error> error;
  ASSERT_TRUE(writePropertyListToFile(sample(), path, true, PropertyListFormat::Binary, &error)) << describe(error);
  expectSameTypes(dictionaryWithContentsOfFile(path));
  EXPECT_EQ(arrayWithContentsOfFile(path), nullptr);  // it holds a dictionary

  // An invalid property list leaves the existing file untouched.
  EXPECT_FALSE(writePropertyListToFile(array({null()}), path, true, PropertyListFormat::XML, &error));
  expectSameTypes(dictionaryWithContentsOfFile(path));
  // No temporary files are left behind.
  size_t files = 0;
  for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(dir_)) ++files;
  EXPECT_EQ(files, 1u);

  EXPECT_EQ(propertyListWithContentsOfFile(dir_ + "/missing.plist", 0, &error), nullptr);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), FileReadNoSuchFileError);
  EXPECT_FALSE(writePropertyListToFile(sample(), dir_ + "/no/such/dir/x.plist", true, PropertyListFormat::XML, &error));
  EXPECT_EQ(error->domain(), CocoaErrorDomain);
}

}  // namespace
}  // namespace kit
