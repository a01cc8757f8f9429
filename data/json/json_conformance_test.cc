// The parser against a public JSON conformance suite, and the standard
// benchmark documents written back and read again. The data lives beside the
// source tree; the tests skip when it is not there.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "data/json/json_decoder.h"
#include "data/json/json_text.h"
#include "data/json/jx_constants.h"

namespace fs = std::filesystem;

namespace {

fs::path dataDir(const char* name) { return fs::path(JX_TEST_DATA_DIR) / name; }

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool topLevelIsContainer(const std::string& text) {
  size_t i = text.find_first_not_of(" \t\r\n");
  return i != std::string::npos && (text[i] == '[' || text[i] == '{');
}

struct Outcome {
  bool parsed;
  std::string message;
};

Outcome parse(const std::string& text, unsigned long options) {
  kit::Ref<kit::Error> error;
  kit::Id v = JSONDecoder::decoderWithParseOptions(options)->objectWithUTF8String(text.data(), text.size(), &error);
  return {v != nullptr, error ? error->localizedDescription() : ""};
}

TEST(JSONConformance, SuiteFilesParseOrFailAsExpected) {
  fs::path dir = dataDir("json-conformance");
  if (!fs::is_directory(dir)) GTEST_SKIP() << "conformance files not found at " << dir;

  // Valid texts the codec refuses on purpose without loose Unicode: a U+0000
  // escape and noncharacters.
  const std::map<std::string, std::string> refused = {
      {"y_string_null_escape.json", "Illegal \\u Unicode escape sequence."},
      {"y_string_unicode_U+FFFE_nonchar.json", "Illegal \\u Unicode escape sequence."},
      {"y_string_unicode_U+1FFFE_nonchar.json", "Illegal \\u Unicode escape sequence."},
      {"y_string_last_surrogates_1_and_2.json", "Illegal \\u Unicode escape sequence."},
      {"y_string_nonCharacterInUTF-8_U+10FFFF.json", "Illegal UTF8 sequence found in \"\" string."},
  };

  int valid = 0, invalid = 0, either = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    const std::string text = readFile(entry.path());
    // Nothing crashes, whatever the options.
    for (unsigned long options = 0; options <= JXParseOptionValidFlags; ++options) parse(text, options);

    if (name.starts_with("y_")) {
      if (!topLevelIsContainer(text)) continue;
      ++valid;
      EXPECT_TRUE(parse(text, JXParseOptionLooseUnicode).parsed) << name;
      Outcome strict = parse(text, 0);
      auto it = refused.find(name);
      if (it == refused.end()) {
        EXPECT_TRUE(strict.parsed) << name << ": " << strict.message;
      } else {
        EXPECT_FALSE(strict.parsed) << name;
        EXPECT_EQ(strict.message, it->second) << name;
      }
    } else if (name.starts_with("n_")) {
      ++invalid;
      Outcome strict = parse(text, 0);
      EXPECT_FALSE(strict.parsed) << name;
      EXPECT_FALSE(strict.message.empty()) << name;
    } else {
      ++either;
    }
  }
  EXPECT_GT(valid, 30);
  EXPECT_GT(invalid, 80);
  EXPECT_GT(either, 10);
}

TEST(JSONConformance, BenchmarkDocumentsRoundTrip) {
  fs::path dir = dataDir("json");
  if (!fs::is_directory(dir)) GTEST_SKIP() << "benchmark documents not found at " << dir;
  for (const char* name : {"twitter.json", "citm_catalog.json", "canada.json"}) {
    const std::string text = readFile(dir / name);
    ASSERT_FALSE(text.empty()) << name;
    kit::Ref<kit::Error> error;
    kit::Id value = objectFromJSONStringWithParseOptions(*kit::str(text), 0, &error);
    ASSERT_TRUE(value) << name << ": " << error->localizedDescription();
    for (unsigned long options : {0UL, static_cast<unsigned long>(JXSerializeOptionPretty),
                                  static_cast<unsigned long>(JXSerializeOptionEscapeUnicode |
                                                             JXSerializeOptionEscapeForwardSlashes)}) {
      kit::Ref<kit::String> written = kit::isKind<kit::Array>(value)
                                          ? JSONStringWithOptions(*kit::as<kit::Array>(value), options, &error)
                                          : JSONStringWithOptions(*kit::as<kit::Dictionary>(value), options, &error);
      ASSERT_TRUE(written) << name << ": " << error->localizedDescription();
      kit::Id again = objectFromJSONString(*written);
      ASSERT_TRUE(again) << name << " options " << options;
      EXPECT_TRUE(kit::isEqual(value, again)) << name << " options " << options;
    }
  }
}

}  // namespace
