// Paging of the user centre's lists, driven through the server-openings
// list against the simulator's "Server/lists": pages in order, failures,
// and replies of loads in flight together coming back in either order
// without a row lost or shown twice.
#include "platform/usercenter/kt_paged_list.h"

#include <gtest/gtest.h>

#include "kit/testing/run_until.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/render.h"
#include "platform/usercenter/kt_kaifu_base_vc.h"
#include "platform/usercenter/testing/held_list_replies.h"
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
    if (held) held->releaseAll();
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

  // The names of the rows on show, in order: "S1 S2 ...".
  std::string names() {
    std::string out;
    for (long row = 0; auto model = page->record<KTSuKaifuModel>(row); ++row) {
      out += (row ? " " : "") + kit::describe(model->servername());
    }
    return out;
  }
  static std::string range(long first, long last) {
    std::string out;
    for (long i = first; i <= last; ++i) out += (i > first ? " S" : "S") + std::to_string(i);
    return out;
  }
  std::vector<std::string> pagecodes() const {
    std::vector<std::string> out;
    for (size_t i = 0; i < requests(); ++i) out.push_back(pagecode(i));
    return out;
  }

  std::unique_ptr<Lists> lists;
  std::shared_ptr<HeldListReplies> held;
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

TEST_F(PagedList, MorePagesAppendAPullDownStartsAgainAndAFailedLoadAsksForItsPageAgain) {
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

  // Page 3 fails: the next load asks for it again, and its rows appear.
  server->setFault(Lists::kServerList, sim::RouteFault::CloseConnection);
  loadMore();
  EXPECT_EQ(page->currentPage(), 2u);
  EXPECT_EQ(page->dataSource()->count(), 20u);
  EXPECT_FALSE(page->footer()->isRefreshing());
  server->setFault(Lists::kServerList, sim::RouteFault::None);
  loadMore();
  EXPECT_EQ(pagecodes(), (std::vector<std::string>{"1", "2", "3", "1", "2", "3", "3"}));
  EXPECT_EQ(names(), range(1, 25));
  EXPECT_EQ(page->footer()->state(), KTRefreshState::NoMoreData);
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
  held = HeldListReplies::route(*server, *lists, Lists::kServerList);
  const auto late = held->holdNext(3);
  page->loadMoreData();
  ASSERT_TRUE(waitForRequests(3));
  page->loadMoreData();  // the footer again, while page 3 is on its way
  pullDown();
  EXPECT_EQ(names(), range(1, 10));
  // The late page comes back: it belonged to the list page 1 replaced, so
  // the new list asks for its own page 2 instead.
  held->release(late);
  ASSERT_TRUE(waitForRows(20));
  EXPECT_EQ(pagecodes(), (std::vector<std::string>{"1", "2", "3", "1", "2"}));
  EXPECT_EQ(names(), range(1, 20));
  loadMore();
  EXPECT_EQ(names(), range(1, 25));
}

TEST_F(PagedList, ALoadOfMoreRowsAskedDuringAPullDownLosesNoPage) {
  show();
  ASSERT_TRUE(waitForRows(10));
  loadMore();
  ASSERT_EQ(names(), range(1, 20));
  held = HeldListReplies::route(*server, *lists, Lists::kServerList);
  const auto reload = held->holdNext(1);
  const auto third = held->holdNext(3);
  page->header()->beginRefreshing();
  ASSERT_TRUE(kit::test::runUntil([&] { return held->isWaiting(reload); }));
  // The footer asks for page 3 of the list on show while page 1 is on its way.
  page->loadMoreData();
  ASSERT_TRUE(kit::test::runUntil([&] { return held->isWaiting(third); }));
  held->release(reload);
  ASSERT_TRUE(waitForRows(10));
  held->release(third);
  ASSERT_TRUE(waitForRows(20));
  EXPECT_EQ(names(), range(1, 20)) << "page 2 of the new list, not page 3 after its page 1";
  loadMore();
  EXPECT_EQ(names(), range(1, 25));
  EXPECT_EQ(pagecodes(), (std::vector<std::string>{"1", "2", "1", "3", "2", "3"}));

  // The other order: page 3 answers first and counts for the list on show,
  // which page 1 then replaces.
  pullDown();
  loadMore();
  ASSERT_EQ(names(), range(1, 20));
  const auto reloadAgain = held->holdNext(1);
  page->header()->beginRefreshing();
  ASSERT_TRUE(kit::test::runUntil([&] { return held->isWaiting(reloadAgain); }));
  page->loadMoreData();
  ASSERT_TRUE(kit::test::runUntil([&] { return page->dataSource()->count() == 25; }));
  EXPECT_EQ(names(), range(1, 25));
  held->release(reloadAgain);
  ASSERT_TRUE(waitForRows(10));
  loadMore();
  EXPECT_EQ(names(), range(1, 20));
}

TEST_F(PagedList, OnlyTheLatestPullDownIsShown) {
  show();
  ASSERT_TRUE(waitForRows(10));
  held = HeldListReplies::route(*server, *lists, Lists::kServerList);
  const auto first = held->holdNext(1);
  page->loadNewData();
  ASSERT_TRUE(kit::test::runUntil([&] { return held->isWaiting(first); }));
  lists->setPages(Lists::kServerList, {Lists::records(101, 10, opening), Lists::records(111, 3, opening)});
  page->loadNewData();
  ASSERT_TRUE(waitForReplies(2));
  ASSERT_TRUE(kit::test::runUntil([&] { return firstName() == "S101"; }));
  // The earlier pull-down comes back last and changes nothing.
  held->release(first);
  ASSERT_TRUE(waitForReplies(3));
  EXPECT_EQ(firstName(), "S101");
  EXPECT_EQ(page->totalPage(), 2u);
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
