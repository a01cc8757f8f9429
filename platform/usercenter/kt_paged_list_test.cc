// Paging of the user centre's lists, driven through the server-openings
// list against the simulator's "Server/lists".
#include "platform/usercenter/kt_paged_list.h"

#include <gtest/gtest.h>

#include "kit/testing/run_until.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/render.h"
#include "platform/usercenter/kt_kaifu_base_vc.h"
#include "platform/usercenter/usercenter_test_fixture.h"
#include "sim/platform_user_centre_lists.h"

namespace {

using Lists = sim::PlatformUserCentreLists;

kit::Id opening(long i) {
  return kit::dict({{"servername", kit::Id(kit::str("S" + std::to_string(i)))}, {"day", "05-01"}, {"hour", "10:00"}});
}

// On a notched landscape screen the list is 145 high, so a page of rows
// fills it and the footer loads only when the test asks (as the player
// scrolling to the end).
class PagedList : public UserCentreTest {
 protected:
  kit::DeviceProfileScope landscape{kit::DeviceProfile::notched812x375()};

  void SetUp() override {
    UserCentreTest::SetUp();
    lists = std::make_unique<Lists>(*server);
    lists->setPages(Lists::kServerList, {Lists::records(1, 10, opening), Lists::records(11, 10, opening),
                                         Lists::records(21, 5, opening)});
  }
  void TearDown() override {
    page.reset();
    UserCentreTest::TearDown();
    lists.reset();
  }

  // The list on screen, its first load started as on the platform: by the
  // first drawing of its header (which fades in first).
  void show() {
    page = KTKaifuBaseVC::make("1");
    window->addSubview(page->view());
    ASSERT_TRUE(kit::test::runUntil([&] {
      kit::render(*window);
      return page->header()->state() != KTRefreshState::WillRefresh;
    }));
  }
  size_t requests() const { return server->requestsTo(Lists::kServerList).size(); }
  bool waitForRequests(size_t n) { return kit::test::runUntil([&] { return requests() >= n; }); }
  std::string pagecode(size_t i) const {
    return server->requestsTo(Lists::kServerList).at(i).formValue("pagecode").value_or("");
  }
  // The header ends refreshing on the turn of the run loop after a reply.
  bool settled() const { return !page->header()->isRefreshing(); }
  bool waitForRows(size_t n) {
    return kit::test::runUntil([&] { return page->dataSource()->count() == n && settled(); });
  }
  std::string firstName() {
    auto model = page->record<KTSuKaifuModel>(0);
    return model && model->servername() ? model->servername()->utf8() : "";
  }
  bool waitForReplies(unsigned long n) {
    return kit::test::runUntil([&] { return page->repliesReceived() >= n && settled(); });
  }
  // Loads more and waits for the reply.
  void loadMore() {
    const auto before = page->repliesReceived();
    page->loadMoreData();
    ASSERT_TRUE(waitForReplies(before + 1));
  }
  void pullDown() {
    ASSERT_TRUE(kit::test::runUntil([&] { return settled(); }));
    const auto before = page->repliesReceived();
    page->header()->beginRefreshing();
    ASSERT_TRUE(waitForReplies(before + 1));
  }

  std::unique_ptr<Lists> lists;
  kit::Ref<KTKaifuBaseVC> page;
};

TEST_F(PagedList, FirstLoadCarriesTheKeysAndShowsTheFooterOnlyWithTheFirstPage) {
  show();
  EXPECT_TRUE(page->footer()->isHidden());
  ASSERT_TRUE(waitForRows(10));
  auto sent = server->requestsTo(Lists::kServerList).at(0);
  EXPECT_EQ(sent.formValue("gid"), "1001");
  EXPECT_EQ(sent.formValue("pagecode"), "1");
  EXPECT_EQ(sent.formValue("is_display"), "1");
  EXPECT_FALSE(page->footer()->isHidden());
  EXPECT_EQ(page->footer()->state(), KTRefreshState::Idle);
  EXPECT_EQ(page->totalPage(), 3u);
  EXPECT_EQ(page->currentPage(), 1u);
  EXPECT_EQ(page->tableView()->numberOfRowsInSection(0), 10);
}

TEST_F(PagedList, TheLastPageOrNoPagesEndTheListAtOnce) {
  for (long total : {1, 0}) {
    server->enqueue(Lists::kServerList,
                    sim::PlatformAPIReply::json(kit::dict(
                        {{"total_page", kit::num(total)}, {"now_page", "1"}, {"lists", Lists::records(1, 2, opening)}})));
  }
  show();
  ASSERT_TRUE(waitForRows(2));
  EXPECT_EQ(page->footer()->state(), KTRefreshState::NoMoreData);
  EXPECT_EQ(page->footer()->stateTitles().at(KTRefreshState::NoMoreData), "");
  pullDown();
  EXPECT_EQ(page->totalPage(), 0u);
  EXPECT_EQ(page->footer()->state(), KTRefreshState::NoMoreData);
  EXPECT_EQ(requests(), 2u);
}

TEST_F(PagedList, MorePagesAppendAPullDownStartsAgainAndAFailedLoadKeepsTheCounter) {
  show();
  ASSERT_TRUE(waitForRows(10));
  // The footer as the player reaches it.
  page->footer()->beginRefreshing();
  ASSERT_TRUE(waitForRows(20));
  EXPECT_EQ(pagecode(1), "2");
  loadMore();
  ASSERT_TRUE(waitForRows(25));
  EXPECT_EQ(pagecode(2), "3");
  EXPECT_EQ(page->footer()->state(), KTRefreshState::NoMoreData);

  pullDown();
  EXPECT_EQ(page->dataSource()->count(), 10u);
  EXPECT_EQ(firstName(), "S1");
  EXPECT_EQ(page->footer()->state(), KTRefreshState::Idle);
  loadMore();
  EXPECT_EQ(page->dataSource()->count(), 20u);

  server->setFault(Lists::kServerList, sim::RouteFault::CloseConnection);
  loadMore();
  EXPECT_EQ(page->currentPage(), 3u);
  EXPECT_EQ(page->dataSource()->count(), 20u);
  server->setFault(Lists::kServerList, sim::RouteFault::None);
  loadMore();
  EXPECT_EQ(pagecode(requests() - 1), "4");
}

TEST_F(PagedList, FailuresAndIncompleteRepliesChangeNothingOrCountZero) {
  show();
  ASSERT_TRUE(waitForRows(10));
  page->loadMoreData();  // the counter is now 2 in flight; let it land
  ASSERT_TRUE(waitForRows(20));
  for (auto fault : {sim::RouteFault::ServerErrorJSON, sim::RouteFault::CloseConnection, sim::RouteFault::EmptyBody}) {
    server->setFault(Lists::kServerList, fault);
    pullDown();
    EXPECT_EQ(page->dataSource()->count(), 20u);
    EXPECT_EQ(page->currentPage(), 2u);
    EXPECT_EQ(page->totalPage(), 3u);
  }
  server->setFault(Lists::kServerList, sim::RouteFault::None);
  server->enqueue(Lists::kServerList, sim::PlatformAPIReply::json(kit::Array::make({kit::num(1), kit::num(2)})));
  pullDown();
  EXPECT_EQ(page->dataSource()->count(), 20u);
  EXPECT_EQ(page->currentPage(), 2u);

  server->enqueue(Lists::kServerList, sim::PlatformAPIReply::json(kit::dict({{"lists", Lists::records(1, 3, opening)}})));
  pullDown();
  EXPECT_EQ(page->dataSource()->count(), 3u);
  EXPECT_EQ(page->totalPage(), 0u);
  EXPECT_EQ(page->currentPage(), 0u);
  EXPECT_EQ(page->footer()->state(), KTRefreshState::NoMoreData);

  server->enqueue(Lists::kServerList,
                  sim::PlatformAPIReply::json(kit::dict({{"total_page", "-4"}, {"now_page", kit::num(-1)}})));
  pullDown();
  EXPECT_EQ(page->dataSource()->count(), 0u);
  EXPECT_EQ(page->totalPage(), 0u);
}

TEST_F(PagedList, AMorePageAskedBeforeAPullDownIsDroppedWhenItComesLate) {
  show();
  ASSERT_TRUE(waitForRows(10));
  page->loadMoreData();
  ASSERT_TRUE(waitForRows(20));
  auto late = lists->pageReply(Lists::kServerList, 3);
  late.delaySeconds = 0.4;
  server->enqueue(Lists::kServerList, late);
  page->loadMoreData();
  ASSERT_TRUE(waitForRequests(3));
  pullDown();
  EXPECT_EQ(page->dataSource()->count(), 10u);
  // The late page comes back and changes nothing.
  ASSERT_TRUE(waitForReplies(4));
  EXPECT_FALSE(page->footer()->isRefreshing());
  EXPECT_EQ(page->dataSource()->count(), 10u);
  EXPECT_EQ(page->currentPage(), 1u);
  page->loadMoreData();
  ASSERT_TRUE(waitForRequests(5));
  EXPECT_EQ(pagecode(4), "2");
}

TEST_F(PagedList, APageClosedWhileItsRequestRunsIsReleased) {
  auto late = lists->pageReply(Lists::kServerList, 1);
  late.delaySeconds = 0.3;
  server->enqueue(Lists::kServerList, late);
  show();
  ASSERT_TRUE(waitForRequests(1));
  kit::Weak<KTKaifuBaseVC> weak = page;
  page->view()->removeFromSuperview();
  page.reset();
  // Its session went with it, cancelling the request: nothing reaches the
  // released page.
  EXPECT_TRUE(weak.expired());
}

}  // namespace
