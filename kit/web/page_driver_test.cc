// Scripts on the page driver through the web view, as a client evaluates
// them: statements, several of them and trailing comments answer the value
// of their last statement; thrown and syntax errors are the script's
// errors; the page's model (its elements, title and address) and its
// functions are there; each document starts with fresh globals.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"
#include "kit/web/testing/web_test_support.h"
#include "kit/web/web_view.h"

namespace {

struct Asked : kit::NavigationDelegate {
  std::vector<std::string> urls;
  int finished = 0;
  void decidePolicyForNavigationAction(kit::WebView&, const kit::Ref<kit::NavigationAction>& action,
                                       std::function<void(kit::NavigationActionPolicy)> decide) override {
    urls.push_back(action->request()->URL()->absoluteText());
    const bool refused = urls.back().find("pay.html") != std::string::npos;
    decide(refused ? kit::NavigationActionPolicy::Cancel : kit::NavigationActionPolicy::Allow);
  }
  void didFinishNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&) override { ++finished; }
};

class PageDriverScripts : public ::testing::Test {
 protected:
  void SetUp() override {
    web = kit::WebView::make(kit::Rect{0, 0, 375, 667});
    asked = std::make_shared<Asked>();
    web->setNavigationDelegate(asked);
    web->loadHTMLString(R"(<head><meta name="viewport" content="width=device-width"><title>句</title></head>
        <body><p id="note" class="tip">提示</p></body>)",
                        kit::URL::URLWithString("http://127.0.0.1:9/shop/index.html"));
    ASSERT_TRUE(kit::test::runUntil([&] { return asked->finished == 1; }));
  }
  kit::ScriptResult evaluate(const std::string& script) { return kit::test::evaluateScript(*web, script); }
  static std::string messageOf(const kit::ScriptResult& result) {
    if (!result.error) return "no error";
    return kit::describe(kit::Id(result.error->userInfo())[kit::JavaScriptExceptionMessageKey]);
  }

  kit::Ref<kit::WebView> web;
  std::shared_ptr<Asked> asked;
};

TEST_F(PageDriverScripts, StatementScriptsAnswerTheirLastStatementsValue) {
  kit::ScriptResult viewport = evaluate(
      "document.getElementsByName(\"viewport\")[0].content = \"width=375, initial-scale=1.0, user-scalable=no\";");
  EXPECT_FALSE(viewport.error) << messageOf(viewport);
  EXPECT_EQ(kit::describe(viewport.value), "width=375, initial-scale=1.0, user-scalable=no");
  EXPECT_EQ(kit::describe(evaluate("document.getElementsByName('viewport')[0].getAttribute('content')").value),
            "width=375, initial-scale=1.0, user-scalable=no");
  EXPECT_EQ(kit::describe(evaluate("document.getElementById('note').className").value), "tip");

  EXPECT_EQ(kit::describe(evaluate("var n = 20;\nn += 1;\nn * 2; // the answer\n").value), "42");
  EXPECT_EQ(kit::describe(evaluate("n /* kept for the next script */").value), "21");
  EXPECT_FALSE(evaluate("var unused = 1;").value);
  EXPECT_EQ(kit::describe(evaluate("if (n > 1) { 'many' } else { 'one' }").value), "many");
  kit::Id object = evaluate("({a: [1, 'b'], c: null});").value;
  EXPECT_EQ(kit::describe(object["a"][1]), "b");
  EXPECT_TRUE(kit::isKind<kit::Null>(object["c"]));
  EXPECT_EQ(evaluate("(function () {})").error->code(), kit::WebErrorJavaScriptResultTypeIsUnsupported);
  // The expressions the driver answers itself keep their answers.
  EXPECT_EQ(kit::describe(evaluate("document.title").value), "句");
  EXPECT_EQ(kit::describe(evaluate("navigator.userAgent.indexOf('Mobile') > 0").value), "1");
}

TEST_F(PageDriverScripts, ThrownAndSyntaxErrorsAreTheScriptsErrors) {
  kit::ScriptResult thrown = evaluate("var x = 1;\nthrow new Error('坏了');");
  ASSERT_TRUE(thrown.error);
  EXPECT_EQ(thrown.error->domain(), kit::WebErrorDomain);
  EXPECT_EQ(thrown.error->code(), kit::WebErrorJavaScriptExceptionOccurred);
  EXPECT_EQ(messageOf(thrown), "Error: 坏了");
  EXPECT_EQ(messageOf(evaluate("missing.value")), "ReferenceError: Can't find variable: missing");

  kit::ScriptResult broken = evaluate("var = ;");
  ASSERT_TRUE(broken.error);
  EXPECT_EQ(broken.error->code(), kit::WebErrorJavaScriptExceptionOccurred);
  EXPECT_TRUE(messageOf(broken).starts_with("SyntaxError: ")) << messageOf(broken);
  EXPECT_TRUE(messageOf(evaluate("CallbackFromIOS('{\"name\":\"O'Neil\"}')")).starts_with("SyntaxError: "));
  EXPECT_TRUE(messageOf(evaluate("1 + /* never closed")).starts_with("SyntaxError: "));
  EXPECT_EQ(kit::describe(evaluate("x").value), "1") << "statements before the throw ran";
}

TEST_F(PageDriverScripts, ScriptsSeeThePagesFunctionsTitleAndAddress) {
  auto driver = web->pageDriver();
  driver->defineFunction("twice", [](const std::vector<kit::Id>& arguments) -> kit::Id {
    return kit::num(2 * kit::as<kit::Number>(arguments.at(0))->doubleValue());
  });
  EXPECT_EQ(kit::describe(evaluate("var r = twice(20); r + twice(0.5);").value), "41");
  ASSERT_EQ(driver->evaluations().back().calls.size(), 2u);
  EXPECT_EQ(driver->evaluations().back().calls[0].function, "twice");
  EXPECT_EQ(kit::describe(driver->evaluations().back().calls[0].arguments.at(0)), "20");
  EXPECT_EQ(messageOf(evaluate("var r = other(1); r")), "ReferenceError: Can't find variable: other");

  EXPECT_EQ(kit::describe(evaluate("document.title = '新' + document.title; location.href").value),
            "http://127.0.0.1:9/shop/index.html");
  EXPECT_TRUE(kit::test::runUntil([&] { return web->title() == "新句"; })) << web->title();

  // The page going elsewhere asks the view, as a link does.
  evaluate("location.href = 'pay.html?id=1'; 'leaving'");
  ASSERT_TRUE(kit::test::runUntil([&] { return asked->urls.size() == 2; }));
  EXPECT_EQ(asked->urls[1], "http://127.0.0.1:9/shop/pay.html?id=1");

  // A new document has a fresh context.
  web->loadHTMLString("<title>二</title>", kit::URL::URLWithString("http://127.0.0.1:9/two.html"));
  ASSERT_TRUE(kit::test::runUntil([&] { return web->title() == "二"; }));
  EXPECT_EQ(kit::describe(evaluate("typeof r + ' ' + document.getElementsByName('viewport').length").value),
            "undefined 0");
}

}  // namespace
