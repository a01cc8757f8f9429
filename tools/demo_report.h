// The main job's report: the steps in order, each with its title, the
// messages noted while it ran, its outcome and a picture of the screen at
// its end; printed as the session goes and written as index.html beside the
// pictures at the end.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "kit/foundation/object.h"

namespace demo {

struct Step {
  std::string title;
  std::string picture;
  std::vector<std::string> messages;
  std::string outcome;
  bool ok = false;
};

class Report {
 public:
  explicit Report(std::filesystem::path folder) : folder_(std::move(folder)) {}

  // Starts the next step.
  void begin(std::string title);
  // A message of the step under way.
  void note(const std::string& line);
  // Ends the step under way with its outcome and the screen as it is now
  // (every window, as the player sees them) as its picture. A step whose
  // picture cannot be written fails.
  void end(bool ok, const std::string& outcome);
  // Writes index.html; the number of failed steps.
  int finish() const;

 private:
  std::filesystem::path folder_;
  std::vector<Step> steps_;
};

// A value as compact JSON, or its "%@" text when it is no JSON object.
std::string compactJSON(const kit::Id& value);

}  // namespace demo
