// JSON parse and write throughput on the standard benchmark documents
// (twitter, citm_catalog, canada), against nlohmann::json and RapidJSON's
// DOM in the same run. Every figure is MB/s of the input document; the
// table at the end gives our speed as a multiple of each peer's.
//
//   parse: text to objects, result freed inside the timing
//   write: objects (parsed beforehand) to compact text

#include <benchmark/benchmark.h>

#include "bench/bench_support.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <sstream>
#include <string>
#include <vector>

#include "data/json/json_text.h"
#include "kit/foundation/data.h"

namespace {

namespace fs = std::filesystem;

struct Document {
  std::string name;
  std::string text;
  kit::Ref<kit::Data> data;
};

std::vector<Document>& documents() {
  static std::vector<Document> docs;
  return docs;
}

bool loadDocuments() {
  fs::path dir = fs::path(BENCH_DATA_DIR) / "json";
  for (const char* name : {"twitter.json", "citm_catalog.json", "canada.json"}) {
    std::ifstream in(dir / name, std::ios::binary);
    if (!in) return false;
    std::ostringstream out;
    out << in.rdbuf();
    Document d{name, out.str(), nullptr};
    d.data = kit::Data::make(std::string_view(d.text));
    documents().push_back(std::move(d));
  }
  return true;
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

void parseRapid(benchmark::State& state, const Document* doc) {
  for (auto _ : state) {
    rapidjson::Document value;
    value.Parse(doc->text.data(), doc->text.size());
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

// Prints the usual table and keeps MB/s per run for the ratio table.
// Prints the MB/s table and the ratios against the peers after the run.
void printRatios(const bench::RecordingReporter& reporter) {
  auto get = [&](const std::string& op, const std::string& file, const std::string& who) {
    return reporter.counter(op + "/" + file + "/" + who, "bytes_per_second") / 1e6;
  };
  std::printf("\n%-8s %-18s %10s %10s %10s %12s %12s\n", "op", "file", "ours MB/s", "nlohmann", "rapidjson",
              "vs nlohmann", "vs rapidjson");
  for (const char* op : {"parse", "write"}) {
    for (const Document& doc : documents()) {
      double ours = get(op, doc.name, "ours"), nl = get(op, doc.name, "nlohmann"), rj = get(op, doc.name, "rapidjson");
      if (ours <= 0) continue;
      std::printf("%-8s %-18s %10.1f %10.1f %10.1f %11.2fx %11.2fx\n", op, doc.name.c_str(), ours, nl, rj,
                  nl > 0 ? ours / nl : 0.0, rj > 0 ? ours / rj : 0.0);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!loadDocuments()) {
    std::printf("json_bench: the benchmark documents were not found under %s/json; nothing to measure\n",
                BENCH_DATA_DIR);
    return 0;
  }
  for (const Document& doc : documents()) {
    const Document* d = &doc;
    benchmark::RegisterBenchmark(("parse/" + doc.name + "/ours").c_str(), parseOurs, d);
    benchmark::RegisterBenchmark(("parse/" + doc.name + "/nlohmann").c_str(), parseNlohmann, d);
    benchmark::RegisterBenchmark(("parse/" + doc.name + "/rapidjson").c_str(), parseRapid, d);
    benchmark::RegisterBenchmark(("write/" + doc.name + "/ours").c_str(), writeOurs, d);
    benchmark::RegisterBenchmark(("write/" + doc.name + "/nlohmann").c_str(), writeNlohmann, d);
    benchmark::RegisterBenchmark(("write/" + doc.name + "/rapidjson").c_str(), writeRapid, d);
  }
  bench::RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printRatios(reporter);
  benchmark::Shutdown();
  return 0;
}
