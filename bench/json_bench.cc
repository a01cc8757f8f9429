// JSON parse and write throughput on the standard benchmark documents
// (twitter, citm_catalog, canada), against nlohmann::json and RapidJSON's
// DOM in the same run. The public documents are read from the benchmark data
// folder (KIT_BENCH_DATA at configure time, or the KIT_BENCH_DATA variable
// at run time); a document that is missing is replaced by a generated one of
// the same shape (bench/json_documents.h), and the program says which were
// used.
//
//   parse: text to objects, result freed inside the timing
//   write: objects (parsed beforehand) to compact text
//
// Large documents (generated: one array of 32 MB or 128 MB of numbers, or of
// small records): parse time against RapidJSON's full-precision parse at
// 32 MB, how the per-byte time holds from 32 MB to 128 MB, and the memory
// the parsed tree holds as a multiple of the input (the `held_ratio`
// counter: heap bytes in use with the tree alive less before the parse, from
// malloc's own statistics, so arena chunks and every object are counted).
//
// After the run: a table of MB/s and speed ratios, then one comparison line
// per goal (bench/bench_support.h), from the medians when the run has
// repetitions.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include "bench/bench_support.h"
#include "bench/json_documents.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <sstream>
#include <string>
#include <vector>

#include "data/json/json_text.h"
#include "kit/foundation/app_notifications.h"
#include "kit/foundation/data.h"
#include "kit/foundation/notification_center.h"

namespace {

namespace fs = std::filesystem;

struct Document {
  std::string name;  // as the public file is called
  std::string text;
  kit::Ref<kit::Data> data;
  double parseGoal;  // the most our parse time may be, as a multiple of RapidJSON's
  double fullPrecisionGoal;  // the same against its full-precision parse; 0: no goal
};

// The documents, their stand-ins, and the goals for our parse time as a
// multiple of RapidJSON's DOM parse.
struct Source {
  const char* file;
  const char* shape;
  std::string (*generate)();
  double parseGoal;
  double fullPrecisionGoal;  // against RapidJSON's full-precision parse; 0: no goal
};
const Source kSources[] = {
    {"twitter.json", "tweet-like", bench::tweetDocument, 1.5, 0},
    {"citm_catalog.json", "catalogue-like", bench::catalogueDocument, 1.5, 0},
    {"canada.json", "coordinate-heavy geometry", bench::geometryDocument, 2.5, 1.2},
};

std::vector<Document>& documents() {
  static std::vector<Document> docs;
  return docs;
}

fs::path dataDirectory() {
  const char* fromEnvironment = std::getenv("KIT_BENCH_DATA");
  return fs::path(fromEnvironment && *fromEnvironment ? fromEnvironment : BENCH_DATA_DIR) / "json";
}

void loadDocuments() {
  const fs::path dir = dataDirectory();
  for (const Source& source : kSources) {
    Document d{source.file, "", nullptr, source.parseGoal, source.fullPrecisionGoal};
    std::ifstream in(dir / source.file, std::ios::binary);
    if (in) {
      std::ostringstream out;
      out << in.rdbuf();
      d.text = out.str();
      std::printf("json_bench: %s: the public document (%zu bytes)\n", source.file, d.text.size());
    } else {
      d.text = source.generate();
      std::printf("json_bench: %s: not found under %s; a generated %s document (%zu bytes) stands in\n", source.file,
                  dir.string().c_str(), source.shape, d.text.size());
    }
    d.data = kit::Data::make(std::string_view(d.text));
    documents().push_back(std::move(d));
  }
}

// ---- Ours ----------------------------------------------------------------------

void parseOurs(benchmark::State& state, const Document* doc) {
  for (auto _ : state) {
    kit::Id value = objectFromJSONData(*doc->data);
    if (!value) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(value.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc->text.size()));
}

void writeOurs(benchmark::State& state, const Document* doc) {
  kit::Id value = objectFromJSONData(*doc->data);
  for (auto _ : state) {
    kit::Ref<kit::String> text = kit::isKind<kit::Array>(value) ? JSONString(*kit::as<kit::Array>(value))
                                                                : JSONString(*kit::as<kit::Dictionary>(value));
    if (!text) state.SkipWithError("write failed");
    benchmark::DoNotOptimize(text.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc->text.size()));
}

// ---- nlohmann::json ----------------------------------------------------------

void parseNlohmann(benchmark::State& state, const Document* doc) {
  for (auto _ : state) {
    nlohmann::json value = nlohmann::json::parse(doc->text);
    benchmark::DoNotOptimize(value.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc->text.size()));
}

void writeNlohmann(benchmark::State& state, const Document* doc) {
  nlohmann::json value = nlohmann::json::parse(doc->text);
  for (auto _ : state) {
    std::string text = value.dump();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc->text.size()));
}

// ---- RapidJSON ------------------------------------------------------------------

// RapidJSON's default parse takes a fast path for numbers that rounds some
// of them differently from the correctly rounded value; its full-precision
// mode gives the same doubles as ours, so it is the like-for-like peer on
// number-heavy documents.
template <unsigned kFlags>
void parseRapid(benchmark::State& state, const Document* doc) {
  for (auto _ : state) {
    rapidjson::Document value;
    value.Parse<kFlags>(doc->text.data(), doc->text.size());
    if (value.HasParseError()) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(&value);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc->text.size()));
}

void writeRapid(benchmark::State& state, const Document* doc) {
  rapidjson::Document value;
  value.Parse(doc->text.data(), doc->text.size());
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    value.Accept(writer);
    benchmark::DoNotOptimize(buffer.GetString());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc->text.size()));
}

// ---- Large documents -------------------------------------------------------------

constexpr size_t kLargeSizes[] = {32u << 20, 128u << 20};
// Goals: held memory as a multiple of the input; our 32 MB parse time as a
// multiple of RapidJSON's full-precision parse; the per-byte time at 128 MB
// as a multiple of that at 32 MB.
constexpr double kHeldGoal = 3.0;
constexpr double kLargeParseGoal = 2.0;
constexpr double kLinearGoal = 1.1;

// One array of `bytes` (about) of numbers written as canada.json writes its
// coordinates, or of small records with strings, integers, a boolean and a
// null, from a fixed seed.
std::string largeDocument(bool records, size_t bytes) {
  std::mt19937_64 random(42);
  std::uniform_real_distribution<double> coordinate(-180.0, 180.0);
  std::string out;
  out.reserve(bytes + 256);
  out += '[';
  char text[160];
  for (size_t i = 0; out.size() < bytes; ++i) {
    if (i) out += ',';
    if (records) {
      std::snprintf(text, sizeof text,
                    "{\"id\":%zu,\"name\":\"user %zu\",\"score\":%.3f,\"active\":%s,\"tag\":null,\"city\":\"c%llu\"}",
                    i, i * 7919 % 100000, coordinate(random), i % 3 ? "true" : "false",
                    static_cast<unsigned long long>(random() % 5000));
    } else {
      std::snprintf(text, sizeof text, "%.15g", coordinate(random));
    }
    out += text;
  }
  out += ']';
  return out;
}

struct LargeDocument {
  std::string name;  // "numbers_32MB" ...
  std::string text;
  kit::Ref<kit::Data> data;
  size_t size;
};

std::vector<LargeDocument>& largeDocuments() {
  static std::vector<LargeDocument> docs;
  return docs;
}

void makeLargeDocuments() {
  for (bool records : {false, true})
    for (size_t size : kLargeSizes) {
      LargeDocument d;
      d.name = std::string(records ? "records_" : "numbers_") + std::to_string(size >> 20) + "MB";
      d.text = largeDocument(records, size);
      d.data = kit::Data::make(std::string_view(d.text));
      d.size = size;
      largeDocuments().push_back(std::move(d));
    }
}

size_t heapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// The parse as parseOurs times it, plus the memory the tree holds, measured
// once outside the timing. The parser keeps chunks that earlier documents
// gave back for the next parse; they are let go first, so that chunks taken
// from that reserve count as held too.
void parseLargeOurs(benchmark::State& state, const LargeDocument* doc) {
  {
    kit::NotificationCenter::defaultCenter()->postNotificationName(kit::ApplicationDidReceiveMemoryWarningNotification);
    const size_t before = heapInUse();
    kit::Id value = objectFromJSONData(*doc->data);
    state.counters["held_ratio"] = static_cast<double>(heapInUse() - before) / static_cast<double>(doc->text.size());
  }
  for (auto _ : state) {
    kit::Id value = objectFromJSONData(*doc->data);
    if (!value) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(value.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc->text.size()));
}

void parseLargeRapid(benchmark::State& state, const LargeDocument* doc) {
  {
    const size_t before = heapInUse();
    rapidjson::Document value;
    value.Parse<rapidjson::kParseFullPrecisionFlag>(doc->text.data(), doc->text.size());
    state.counters["held_ratio"] = static_cast<double>(heapInUse() - before) / static_cast<double>(doc->text.size());
  }
  for (auto _ : state) {
    rapidjson::Document value;
    value.Parse<rapidjson::kParseFullPrecisionFlag>(doc->text.data(), doc->text.size());
    if (value.HasParseError()) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(&value);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc->text.size()));
}

void reportLargeGoals(const bench::RecordingReporter& reporter) {
  std::printf("\n");
  for (const char* shape : {"numbers", "records"}) {
    const std::string small = std::string(shape) + "_32MB", large = std::string(shape) + "_128MB";
    const std::string ours32 = "parse_large/" + small + "/ours", ours128 = "parse_large/" + large + "/ours";
    const std::string rapid32 = "parse_large/" + small + "/rapidjson_fullprec";
    std::printf("%s: held %.2fx the input at 32 MB, %.2fx at 128 MB (RapidJSON %.2fx)\n", shape,
                reporter.counter(ours32, "held_ratio"), reporter.counter(ours128, "held_ratio"),
                reporter.counter(rapid32, "held_ratio"));
    bench::reportRatio(("json_large_" + std::string(shape) + "_held/input").c_str(),
                       reporter.counter(ours128, "held_ratio"), 1.0, kHeldGoal);
    bench::reportRatio(("json_large_" + small + "/rapidjson_fullprec").c_str(), reporter.cpuTime(ours32),
                       reporter.cpuTime(rapid32), kLargeParseGoal);
    // Per byte: 128 MB is four times the text of 32 MB.
    bench::reportRatio(("json_large_" + std::string(shape) + "_per_byte_128MB/32MB").c_str(),
                       reporter.cpuTime(ours128) / 4, reporter.cpuTime(ours32), kLinearGoal);
  }
}

// ---- Results ---------------------------------------------------------------------

void printTable(const bench::RecordingReporter& reporter) {
  auto speed = [&](const std::string& op, const std::string& file, const std::string& who) {
    return reporter.counter(op + "/" + file + "/" + who, "bytes_per_second") / 1e6;
  };
  std::printf("\n%-8s %-18s %10s %10s %10s %12s %12s\n", "op", "file", "ours MB/s", "nlohmann", "rapidjson",
              "vs nlohmann", "vs rapidjson");
  for (const char* op : {"parse", "write"}) {
    for (const Document& doc : documents()) {
      double ours = speed(op, doc.name, "ours"), nl = speed(op, doc.name, "nlohmann"),
             rj = speed(op, doc.name, "rapidjson");
      if (ours <= 0) continue;
      std::printf("%-8s %-18s %10.1f %10.1f %10.1f %11.2fx %11.2fx\n", op, doc.name.c_str(), ours, nl, rj,
                  nl > 0 ? ours / nl : 0.0, rj > 0 ? ours / rj : 0.0);
    }
  }
}

// One comparison line per goal (bench/bench_support.h): our parse time
// against RapidJSON's DOM (and, where numbers dominate, its full-precision
// parse), and against nlohmann::json, which ours must beat.
void reportGoals(const bench::RecordingReporter& reporter) {
  std::printf("\n");
  for (const Document& doc : documents()) {
    const std::string stem = doc.name.substr(0, doc.name.find('.'));
    const double ours = reporter.cpuTime("parse/" + doc.name + "/ours");
    bench::reportRatio(("json_parse_" + stem + "/rapidjson").c_str(), ours,
                       reporter.cpuTime("parse/" + doc.name + "/rapidjson"), doc.parseGoal);
    if (doc.fullPrecisionGoal > 0)
      bench::reportRatio(("json_parse_" + stem + "/rapidjson_fullprec").c_str(), ours,
                         reporter.cpuTime("parse/" + doc.name + "/rapidjson_fullprec"), doc.fullPrecisionGoal);
    bench::reportRatio(("json_parse_" + stem + "/nlohmann").c_str(), ours,
                       reporter.cpuTime("parse/" + doc.name + "/nlohmann"), 1.0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  loadDocuments();
  for (const Document& doc : documents()) {
    const Document* d = &doc;
    benchmark::RegisterBenchmark(("parse/" + doc.name + "/ours").c_str(), parseOurs, d);
    benchmark::RegisterBenchmark(("parse/" + doc.name + "/nlohmann").c_str(), parseNlohmann, d);
    benchmark::RegisterBenchmark(("parse/" + doc.name + "/rapidjson").c_str(),
                                 parseRapid<rapidjson::kParseDefaultFlags>, d);
    benchmark::RegisterBenchmark(("parse/" + doc.name + "/rapidjson_fullprec").c_str(),
                                 parseRapid<rapidjson::kParseFullPrecisionFlag>, d);
    benchmark::RegisterBenchmark(("write/" + doc.name + "/ours").c_str(), writeOurs, d);
    benchmark::RegisterBenchmark(("write/" + doc.name + "/nlohmann").c_str(), writeNlohmann, d);
    benchmark::RegisterBenchmark(("write/" + doc.name + "/rapidjson").c_str(), writeRapid, d);
  }
  makeLargeDocuments();
  for (const LargeDocument& doc : largeDocuments()) {
    const LargeDocument* d = &doc;
    benchmark::RegisterBenchmark(("parse_large/" + doc.name + "/ours").c_str(), parseLargeOurs, d)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("parse_large/" + doc.name + "/rapidjson_fullprec").c_str(), parseLargeRapid, d)
        ->Unit(benchmark::kMillisecond);
  }
  bench::RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printTable(reporter);
  reportGoals(reporter);
  reportLargeGoals(reporter);
  benchmark::Shutdown();
  return 0;
}
