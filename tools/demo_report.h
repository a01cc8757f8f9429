// The main job's report: the steps in order, each with its title, the
// messages noted while it ran, its outcome and a picture of the screen at
// its end (and any taken on the way); printed as the session goes and
// written as index.html beside the pictures at the end. A picture that shows
// the same screen as the one before it fails its step: each picture is there
// to show a change. So does a picture taken while a web view on screen has
// not drawn its page yet: it would show the view's background, not the page.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "kit/foundation/object.h"

namespace demo {

struct Picture {
  std::string file;
  std::string caption;
};

struct Step {
  std::string title;
  // The pictures taken on the way, then the one at its end (captioned with
  // the step's title).
  std::vector<Picture> pictures;
  std::vector<std::string> messages;
  std::string outcome;
  // What went wrong with its pictures, said after the outcome.
  std::string pictureTrouble;
  bool ok = false;
};

class Report {
 public:
  explicit Report(std::filesystem::path folder) : folder_(std::move(folder)) {}

  // Starts the next step.
  void begin(std::string title);
  // A message of the step under way.
  void note(const std::string& line);
  // A picture of the screen as it is now (every window, as the player sees
  // them) on the way through the step under way: "NNa.png", "NNb.png" ...
  void picture(const std::string& caption);
  // Ends the step under way with its outcome and the screen as it is now as
  // its picture, "NN.png". A step whose picture cannot be written, shows
  // the screen of the picture before it, or shows a web view whose page is
  // not drawn yet, fails.
  void end(bool ok, const std::string& outcome);
  // Writes index.html; the number of failed steps.
  int finish() const;

 private:
  // Writes the screen as `name` into the step's pictures; the step's
  // picture trouble says when it cannot, the screen is unchanged or a web
  // view on it has not drawn its page.
  void takePicture(Step& step, const std::string& name, const std::string& caption);

  std::filesystem::path folder_;
  std::vector<Step> steps_;
  // The pixels of the last picture taken.
  std::vector<uint8_t> lastScreen_;
};

// A value as compact JSON, or its "%@" text when it is no JSON object.
std::string compactJSON(const kit::Id& value);

}  // namespace demo
