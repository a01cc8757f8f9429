// kit::PageScriptContext: a JavaScript context (JavaScriptCore, no browser
// and no display) for the page driver's document, so that any script a
// client evaluates runs as a page would run it: statements, several of
// them, comments, and the value of the last statement as the answer; a
// thrown error or a syntax error is the script's error.
//
// The script sees a small model of the page: `window` (the global
// object), `document` (title, URL, readyState, location, body and
// documentElement with their scroll sizes, getElementsByName and
// getElementById over the document's elements, each with its attributes
// as properties and getAttribute/setAttribute), `location` (href) and
// `navigator` (userAgent), plus the page functions defined on it. Globals a
// script sets stay for the next script, as on a page, until the context
// goes with its document. Main thread only.
//
//   kit::PageScriptContext context(html, userAgent);
//   kit::PageScriptContext::Page page{url, title, "complete", {}};
//   kit::ScriptResult r = context.run("document.title = 'x'; 1 + 1;", page);   // 2, page.title "x"
#pragma once

#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "kit/graphics/geometry.h"
#include "kit/web/page_engine.h"

typedef struct _JSCContext JSCContext;
typedef struct _JSCValue JSCValue;

namespace kit {

class PageScriptContext {
 public:
  // What the script reads of the page, and what it changed of it.
  struct Page {
    std::string url;
    std::string title;
    std::string readyState;
    Size contentSize;
  };
  using Function = std::function<Id(const std::vector<Id>& arguments)>;

  // A context for the document `html`.
  PageScriptContext(std::string_view html, const std::string& userAgent);
  ~PageScriptContext();
  PageScriptContext(const PageScriptContext&) = delete;
  PageScriptContext& operator=(const PageScriptContext&) = delete;

  // A global function of the page, called with its arguments as kit values
  // (undefined as nil); its result goes back as a script value. A name
  // already defined keeps its first function.
  void define(const std::string& name, Function function);
  // Runs `script` with the page as `page` says; afterwards `page` holds the
  // title and address the script left (a script that sets
  // location.href asks the page to go there).
  ScriptResult run(const std::string& script, Page& page);

 private:
  JSCContext* context_ = nullptr;
  JSCValue* update_ = nullptr;  // writes a Page into the model
  JSCValue* read_ = nullptr;    // reads the title and address back
  std::set<std::string> defined_;
};

}  // namespace kit
