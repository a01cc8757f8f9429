// The channel core's role report against the simulated channel server:
// checks and defaults, the signature the server recomputes, what the
// platform and the listener hear, and a refused report.

#include <gtest/gtest.h>

#include "channel/testing/core_road_fixture.h"

namespace {

using CoreRole = CoreRoadFixture;

TEST_F(CoreRole, BeforeALoginTheReportStopsAtTheFirstMissingValue) {
  core->nuva_superRoleUpdate(roleJSON());
  ASSERT_TRUE(waitForHUD(1));
  EXPECT_EQ(hudTexts.back(), "请先获取登录回调的super_user_id");
  drainMain();
  EXPECT_TRUE(server.requestsTo("role/index").empty());
}

TEST_F(CoreRole, ChecksRunInOrderAndOnlyTheFirstFailureShows) {
  logIn();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"role_id", "roleid为空"}, {"service_id", "service_id为空"}, {"service_name", "service_name为空"},
      {"role_name", "role_name为空"}, {"role_level", "role_level为空"}};
  for (const auto& [missing, text] : cases) {
    hudTexts.clear();
    // Everything after the missing field is missing too; only the first shows.
    core->nuva_superRoleUpdate(roleJSON({{missing, kit::Id()}, {"role_level", "(null)"}}));
    ASSERT_TRUE(waitForHUD(1));
    drainMain();
    EXPECT_EQ(hudTexts.size(), 1u);
    EXPECT_EQ(hudTexts.back(), text);
  }
  // A JSON null is as good as missing.
  hudTexts.clear();
  core->nuva_superRoleUpdate(roleJSON({{"role_id", kit::null()}}));
  ASSERT_TRUE(waitForHUD(1));
  EXPECT_EQ(hudTexts.back(), "roleid为空");
  drainMain();
  EXPECT_TRUE(server.requestsTo("role/index").empty());
}

TEST_F(CoreRole, AReportIsSignedDefaultedAndReachesPlatformAndListener) {
  logIn();
  core->nuva_superRoleUpdate(roleJSON({{"power_value", kit::Id()}, {"money", kit::Id()}, {"describe", kit::Id()}}));
  ASSERT_TRUE(kit::test::runUntil([&] { return !listener->callsNamed("role").empty(); }));
  auto sent = server.requestsTo("role/index");
  ASSERT_EQ(sent.size(), 1u);
  const auto& fields = sent[0];
  EXPECT_EQ(fields.field("super_user_id"), "99");
  EXPECT_EQ(fields.field("game_id"), "1001");
  EXPECT_EQ(fields.field("power_value"), "1");
  EXPECT_EQ(fields.field("money"), "0");
  EXPECT_EQ(fields.field("describe"), "");
  EXPECT_EQ(fields.field("experience"), "");
  EXPECT_EQ(fields.field("os_type"), "2");
  EXPECT_EQ(fields.field("random").size(), 5u);
  EXPECT_EQ(fields.field("sign"), sim::md5Hex("99" "1001" "3" + fields.field("random") + JHLCoreEntity::kSigningSalt));
  EXPECT_NE(server.lastReply("role/index").find("\"200\""), std::string::npos);

  ASSERT_TRUE(kit::test::runUntil([&] { return facade->roleReports().size() == 1; }));
  auto report = facade->roleReports().back();
  EXPECT_EQ(report.roleId, "r1");  // the channel server's role id, not the game's
  EXPECT_EQ(report.roleName, "凌霄");
  EXPECT_EQ(report.zoneId, "3");
  auto heard = listener->callsNamed("role").back();
  EXPECT_TRUE(heard.onMain);
  EXPECT_EQ(kit::describe(heard.argument["data"]["role_id"]), "r1");

  EXPECT_EQ(kit::describe(core->roleid()), "r1");
  EXPECT_EQ(kit::describe(core->cp_role_id()), "10086");
  EXPECT_EQ(kit::describe(core->power_value()), "1");
  EXPECT_FALSE(core->isRunLogic());
}

TEST_F(CoreRole, AJSONNullPowerValueSendsOneAndZeroStaysZero) {
  logIn();
  core->nuva_superRoleUpdate(roleJSON({{"power_value", kit::null()}}));
  ASSERT_TRUE(kit::test::runUntil([&] { return server.requestsTo("role/index").size() == 1; }));
  core->nuva_superRoleUpdate(roleJSON({{"power_value", "0"}}));
  ASSERT_TRUE(kit::test::runUntil([&] { return server.requestsTo("role/index").size() == 2; }));
  auto sent = server.requestsTo("role/index");
  EXPECT_EQ(sent[0].field("power_value"), "1");
  EXPECT_EQ(sent[1].field("power_value"), "0");
}

TEST_F(CoreRole, ARefusedReportKeepsThePreviousRole) {
  logIn();
  reportRole();
  ASSERT_EQ(kit::describe(core->roleid()), "r1");
  listener->clear();

  server.setReply("role/index", R"({"code":"403","msg":"角色已封禁","data":{"role_id":"r9"}})");
  core->nuva_superRoleUpdate(roleJSON({{"role_id", "20000"}, {"role_name", "别人"}, {"service_id", "8"}}));
  ASSERT_TRUE(kit::test::runUntil([&] { return !hudTexts.empty() && hudTexts.back() == "角色已封禁"; }));
  drainMain();
  EXPECT_EQ(kit::describe(core->roleid()), "r1");
  EXPECT_EQ(kit::describe(core->cp_role_id()), "10086");
  EXPECT_EQ(kit::describe(core->role_name()), "凌霄");
  EXPECT_EQ(kit::describe(core->service_id()), "3");
  EXPECT_EQ(listener->count(), 0u);
  EXPECT_EQ(listener->count(), 0u) << (listener->count() ? listener->calls()[0].name : "");
}

TEST_F(CoreRole, ASuccessWithoutTheChannelsRoleIdIsARefusedReport) {
  logIn();
  reportRole();
  ASSERT_EQ(kit::describe(core->roleid()), "r1");
  listener->clear();
  const size_t reportsBefore = facade->roleReports().size();
  const std::vector<std::pair<std::string, std::string>> replies = {
      {R"({"code":"200","msg":"上报成功","data":{}})", "上报成功"},
      {R"({"code":"200","msg":"上报成功","data":{"role_id":null}})", "上报成功"},
      {R"({"code":200,"data":{"role_id":""}})", "服务器异常！"},
      {R"J({"code":"200","data":{"role_id":"(null)"}})J", "服务器异常！"}};
  for (const auto& [reply, shown] : replies) {
    hudTexts.clear();
    server.setReply("role/index", reply);
    core->nuva_superRoleUpdate(roleJSON({{"role_id", "20000"}, {"role_name", "别人"}}));
    ASSERT_TRUE(waitForHUD(1)) << reply;
    drainMain();
    EXPECT_EQ(hudTexts, std::vector<std::string>{shown}) << reply;
    EXPECT_EQ(kit::describe(core->roleid()), "r1") << reply;
    EXPECT_EQ(kit::describe(core->role_name()), "凌霄") << reply;
  }
  // Neither the page nor the platform heard of a role "(null)", and orders
  // still go out for the role that was accepted.
  EXPECT_EQ(listener->count(), 0u);
  EXPECT_EQ(facade->roleReports().size(), reportsBefore);
  core->nuva_superOrder(orderJSON());
  ASSERT_TRUE(kit::test::runUntil([&] { return facade->paySheets().size() == 1; }));
  EXPECT_EQ(facade->paySheets().back().roleid, "r1");
}

TEST_F(CoreRole, TheServersRefusalMessageIsShown) {
  logIn();
  core->nuva_superRoleUpdate(roleJSON({{"super_user_id", "100"}}));
  ASSERT_TRUE(kit::test::runUntil([&] { return !hudTexts.empty(); }));
  EXPECT_EQ(hudTexts.back(), "用户不存在");
}

TEST_F(CoreRole, AReplyThatIsNotJSONIsARefusalWithAClearText) {
  logIn();
  server.setFault("role/index", sim::RouteFault::NotJSON);
  core->nuva_superRoleUpdate(roleJSON());
  // The reply is not JSON: it has no code, and no message to show.
  ASSERT_TRUE(waitForHUD(1));
  EXPECT_EQ(hudTexts.back(), "服务器异常！");
  drainMain();
  EXPECT_EQ(kit::describe(core->roleid()), "");
  EXPECT_TRUE(facade->roleReports().empty());
}

}  // namespace
