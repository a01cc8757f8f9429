// The main job's report. See demo_report.h.
#include "tools/demo_report.h"

#include <cstdio>
#include <fstream>

#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "kit/ui/render.h"
#include "sim/platform_web_pages.h"
#include "tools/demo_screens.h"

namespace demo {

namespace {

// The report's texts go into its page as the simulator's pages escape theirs.
std::string htmlEscape(const std::string& text) { return sim::PlatformWebPages::escapeHTML(text); }

}  // namespace

std::string compactJSON(const kit::Id& value) {
  if (!kit::JSONSerialization::isValidJSONObject(value)) return kit::describe(value);
  auto data = kit::JSONSerialization::dataWithJSONObject(value, kit::JSONWritingWithoutEscapingSlashes);
  return data ? data->toString() : kit::describe(value);
}

void Report::begin(std::string title) {
  steps_.push_back(Step{std::move(title), {}, {}, "", "", false});
  std::printf("\n== %zu. %s\n", steps_.size(), steps_.back().title.c_str());
}

void Report::note(const std::string& line) {
  std::printf("   %s\n", line.c_str());
  if (!steps_.empty()) steps_.back().messages.push_back(line);
}

void Report::takePicture(Step& step, const std::string& name, const std::string& caption) {
  for (const auto& page : unpaintedWebViews()) {
    step.pictureTrouble += " (" + name + " shows the web view of " + page + " before its page was drawn)";
  }
  std::string error;
  auto screen = kit::renderScreen();
  if (!screen || !kit::writePNG(*screen, (folder_ / name).string(), &error)) {
    step.pictureTrouble += " (no picture " + name + ": " + error + ")";
    return;
  }
  step.pictures.push_back({name, caption});
  std::vector<uint8_t> pixels(screen->data().begin(), screen->data().end());
  bool changed = pixels != lastScreen_;
  lastScreen_ = std::move(pixels);
  if (!changed) step.pictureTrouble += " (" + name + " shows the same screen as the picture before it)";
}

void Report::picture(const std::string& caption) {
  if (steps_.empty()) return;
  Step& step = steps_.back();
  char name[32];
  std::snprintf(name, sizeof name, "%02zu%c.png", steps_.size(), static_cast<char>('a' + step.pictures.size()));
  takePicture(step, name, caption);
  std::printf("   picture %s: %s\n", name, caption.c_str());
}

void Report::end(bool ok, const std::string& outcome) {
  if (steps_.empty()) return;
  Step& step = steps_.back();
  char name[32];
  std::snprintf(name, sizeof name, "%02zu.png", steps_.size());
  takePicture(step, name, step.title);
  step.ok = ok && step.pictureTrouble.empty();
  step.outcome = outcome + step.pictureTrouble;
  std::printf("%s %s\n", step.ok ? "   ok:" : "   FAILED:", step.outcome.c_str());
}

int Report::finish() const {
  std::ofstream index(folder_ / "index.html");
  index << "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>星河远征 · 主流程</title>\n"
           "<style>body{font-family:sans-serif;background:#f3f1ec;margin:24px}"
           ".step{display:flex;gap:24px;margin-bottom:32px;background:#fff;padding:16px;border-radius:8px}"
           "img{width:300px;border:1px solid #ccc}.ok{color:#197a3d}.failed{color:#b3261e}"
           "pre{white-space:pre-wrap;font-size:12px;max-width:760px}</style></head><body>\n"
           "<h1>星河远征 · 主流程</h1>\n";
  int failures = 0;
  for (size_t i = 0; i < steps_.size(); ++i) {
    const Step& s = steps_[i];
    failures += !s.ok;
    index << "<div class=\"step\">";
    for (const auto& p : s.pictures) {
      index << "<img src=\"" << p.file << "\" alt=\"" << htmlEscape(p.caption) << "\" title=\""
            << htmlEscape(p.caption) << "\">";
    }
    index << "<div><h2>"
          << i + 1 << ". " << htmlEscape(s.title) << "</h2><p class=\"" << (s.ok ? "ok" : "failed") << "\">"
          << (s.ok ? "✓ " : "✗ ") << htmlEscape(s.outcome) << "</p><pre>";
    for (const auto& m : s.messages) index << htmlEscape(m) << "\n";
    index << "</pre></div></div>\n";
  }
  index << "</body></html>\n";
  std::printf("\n%zu steps, %d failed; pictures and index.html in %s\n", steps_.size(), failures,
              folder_.c_str());
  return failures;
}

}  // namespace demo
