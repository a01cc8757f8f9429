// The web-image view categories: placeholders, quick memory hits, results
// superseded by a newer address or a cancel, races between both, button
// states, fading, released views, and the threads blocks run on.
#include "ui/images/kt_web_image_view.h"

#include <gtest/gtest.h>

#include <random>

#include "kit/dispatch/runloop.h"
#include "kit/testing/temp_directory.h"
#include "kit/ui/animation.h"
#include "ui/images/kt_image_coder.h"
#include "ui/images/kt_web_image_setter.h"
#include "ui/images/testing/web_image_recorder.h"
#include "ui/images/testing/web_image_test_support.h"

namespace {

using webimagetest::Call;
using webimagetest::ImageServer;
using webimagetest::Recorder;

// Records every image put into it, with the address its slot wanted then.
class WatchedImageView : public kit::ImageView {
 public:
  void setImage(kit::Ref<kit::Image> image) override {
    puts.emplace_back(image, KT_imageURL(*this));
    kit::ImageView::setImage(std::move(image));
  }
  std::vector<std::pair<kit::Ref<kit::Image>, kit::Ref<kit::URL>>> puts;
};

class WebImageViewTest : public ::testing::Test {
 protected:
  kit::Ref<kit::URL> url(const std::string& path) { return kit::URL::URLWithString(server_.url(path)); }
  static kit::Ref<kit::Image> placeholder() {
    static auto image = KT_imageByDecoded(kit::Image::withBitmap(giftest::solid(2, 2, giftest::palette()[5]), 1));
    return image;
  }
  // Waits until every completion has reported its last call.
  static bool settle(Recorder& recorder) { return recorder.waitForEnd(); }

  kit::test::TempDirectory dir_{"web-image-view"};
  ImageServer server_;
  kit::Ref<KTImageCache> cache_ = KTImageCache::initWithPath(kit::String::make(dir_.path()));
  kit::Ref<KTWebImageManager> manager_ =
      KTWebImageManager::initWithCache(cache_, kit::OperationQueue::create("web-image-view-test"));
};

TEST_F(WebImageViewTest, PlaceholdersAndQuickMemoryHits) {
  auto view = kit::ImageView::make();
  Recorder none;
  KT_setImageWithURL(*view, nullptr, placeholder(), KTWebImageOptions{}, manager_, nullptr, nullptr, none.completion());
  EXPECT_EQ(view->image(), placeholder());
  view->setImage(nullptr);
  KT_setImageWithURL(*view, nullptr, placeholder(), KTWebImageOptionNoPlaceholder, manager_, nullptr, nullptr,
                     none.completion());
  EXPECT_FALSE(view->image());
  kit::RunLoop::main().runUntil([] { return false; }, 0.05);
  EXPECT_TRUE(none.calls().empty());

  auto cached = KT_imageByDecoded(kit::Image::withBitmap(giftest::solid(3, 3, giftest::palette()[1]), 1));
  cache_->setImage(cached, nullptr, kit::String::make(server_.url("/never-served.png")), KTImageCacheTypeMemory);
  Recorder quick;
  KT_setImageWithURL(*view, kit::String::make(server_.url("/never-served.png")), placeholder(), KTWebImageOptions{},
                     manager_, nullptr, nullptr, quick.completion());
  EXPECT_EQ(view->image(), cached) << "shown before the call returns";
  ASSERT_EQ(quick.calls().size(), 1u);
  EXPECT_EQ(quick.last().from, KTWebImageSourceMemoryQuick);
  EXPECT_EQ(quick.last().stage, KTWebImageStageFinished);
  EXPECT_TRUE(quick.last().onMain);
  EXPECT_EQ(KT_imageURL(*view)->absoluteString()->utf8(), server_.url("/never-served.png"));
  EXPECT_EQ(server_.hits("/never-served.png"), 0u);
}

TEST_F(WebImageViewTest, ANewerAddressOrACancelSupersedesTheResultInFlight) {
  auto view = kit::ImageView::make();
  Recorder first, second, cancelled, manual;
  std::atomic<bool> progressOnMain{true};
  KT_setImageWithURL(*view, url("/slow/baseline.jpg"), placeholder(), KTWebImageOptions{}, manager_, nullptr, nullptr,
                     first.completion());
  EXPECT_EQ(view->image(), placeholder());
  KT_setImageWithURL(*view, url("/plain.png"), placeholder(), KTWebImageOptions{}, manager_,
                     [&](int64_t, int64_t) { progressOnMain = progressOnMain && kit::Thread::isMainThread(); },
                     nullptr, second.completion());
  ASSERT_TRUE(settle(first) && settle(second));
  EXPECT_EQ(first.last().stage, KTWebImageStageCancelled);
  EXPECT_FALSE(first.last().image);
  EXPECT_EQ(second.last().stage, KTWebImageStageFinished);
  EXPECT_TRUE(second.last().onMain);
  EXPECT_TRUE(progressOnMain);
  ASSERT_TRUE(view->image());
  EXPECT_EQ(view->image(), second.last().image);

  KT_setImageWithURL(*view, url("/slow/plain.png"), nullptr, KTWebImageOptionRefreshCache, manager_, nullptr, nullptr,
                     cancelled.completion());
  KT_cancelCurrentImageRequest(*view);
  EXPECT_FALSE(KT_imageURL(*view));
  ASSERT_TRUE(settle(cancelled));
  EXPECT_EQ(cancelled.last().stage, KTWebImageStageCancelled);
  EXPECT_FALSE(view->image()) << "the placeholder (none) stays";

  auto manualView = kit::ImageView::make();
  KT_setImageWithURL(*manualView, url("/stream/progressive.jpg"), nullptr,
                     KTWebImageOptionProgressive | KTWebImageOptionManualSet, manager_, nullptr, nullptr,
                     manual.completion());
  ASSERT_TRUE(settle(manual));
  EXPECT_GE(manual.count(KTWebImageStageProgress), 1u);
  EXPECT_TRUE(manual.last().image);
  EXPECT_FALSE(manualView->image());
}

TEST_F(WebImageViewTest, RacesNeverTakeAGenuineResultForASupersededOne) {
  auto view = std::make_shared<WatchedImageView>();
  const std::vector<std::string> paths = {"/baseline.jpg", "/plain.png", "/interlaced.png"};
  const std::vector<double> widths = {64, 40, 160};
  std::mt19937 random(29);
  // Superseded requests still report later: their recorders outlive the loop.
  std::vector<std::unique_ptr<Recorder>> recorders;
  // Half the rounds without a queue: the operation starts inside the
  // request, and a memory hit can answer before the manager has returned.
  auto unqueued = KTWebImageManager::initWithCache(cache_, nullptr);
  for (int i = 0; i < 200; ++i) {
    auto manager = i % 2 ? manager_ : unqueued;
    const size_t pick = random() % paths.size();
    // Every few rounds the memory level loses what it holds, so that later
    // requests find their picture inside the operation or on disk.
    if (random() % 7 == 0) cache_->memoryCache()->removeAllObjects();
    recorders.push_back(std::make_unique<Recorder>());
    Recorder& recorder = *recorders.back();
    KT_setImageWithURL(*view, url(paths[pick]), nullptr, KTWebImageOptions{}, manager, nullptr, nullptr,
                       recorder.completion());
    if (random() % 2 == 0 && i != 199) continue;  // superseded by the next round, most likely
    ASSERT_TRUE(settle(recorder));
    Call call = recorder.last();
    ASSERT_EQ(call.stage, KTWebImageStageFinished) << "round " << i;
    ASSERT_TRUE(call.image);
    EXPECT_EQ(view->image(), call.image);
  }
  ASSERT_TRUE(kit::test::runUntil([&] {
    for (auto& r : recorders) {
      if (!r->ends()) return false;
    }
    return true;
  }));
  for (const auto& [image, wanted] : view->puts) {
    if (!image) continue;
    ASSERT_TRUE(wanted);
    const std::string address = wanted->absoluteString()->utf8();
    for (size_t k = 0; k < paths.size(); ++k) {
      if (address == server_.url(paths[k])) {
        EXPECT_DOUBLE_EQ(image->size().width * image->scale(), widths[k]) << address;
      }
    }
  }
}

TEST_F(WebImageViewTest, ButtonsRequestOncePerSingleState) {
  auto button = kit::Button::make();
  Recorder both, normal, failed;
  KT_setImageWithURL(*button, url("/img/two.jpg"), kit::ControlStateHighlighted | kit::ControlStateSelected, nullptr,
                     KTWebImageOptions{}, manager_, nullptr, nullptr, both.completion());
  KT_setBackgroundImageWithURL(*button, url("/img/one.jpg"), kit::ControlStateNormal, nullptr, KTWebImageOptions{},
                               manager_, nullptr, nullptr, normal.completion());
  ASSERT_TRUE(kit::test::runUntil([&] { return both.ends() == 2 && normal.ends() == 1; }));
  EXPECT_EQ(server_.hits("/img/two.jpg"), 2u);
  EXPECT_EQ(server_.hits("/img/one.jpg"), 1u);
  EXPECT_TRUE(button->image(kit::ControlStateHighlighted));
  EXPECT_TRUE(button->image(kit::ControlStateSelected));
  EXPECT_FALSE(button->image(kit::ControlStateNormal));
  EXPECT_TRUE(button->backgroundImage(kit::ControlStateNormal));
  EXPECT_EQ(KT_backgroundImageURLForState(*button, kit::ControlStateNormal)->absoluteString()->utf8(),
            server_.url("/img/one.jpg"));

  KT_setImageWithURL(*button, url("/img/disabled.jpg"), kit::ControlStateDisabled, KTWebImageOptionManualSet);
  KT_setImageWithURL(*button, url("/img/normal.jpg"), kit::ControlStateNormal, KTWebImageOptionManualSet);
  auto pick = [&](unsigned state) { return KT_imageURLForState(*button, state)->path()->utf8(); };
  EXPECT_EQ(pick(kit::ControlStateHighlighted | kit::ControlStateDisabled | kit::ControlStateSelected), "/img/two.jpg");
  EXPECT_EQ(pick(kit::ControlStateDisabled | kit::ControlStateSelected), "/img/disabled.jpg");
  EXPECT_EQ(pick(kit::ControlStateSelected), "/img/two.jpg");
  EXPECT_EQ(pick(kit::ControlStateNormal), "/img/normal.jpg");
  KT_cancelImageRequestForState(*button, kit::ControlStateDisabled | kit::ControlStateNormal);
  EXPECT_FALSE(KT_imageURLForState(*button, kit::ControlStateDisabled));

  // The user centre's pattern: the indicator option, the normal state, and a
  // completion that needs the error of a failed download.
  KT_setBackgroundImageWithURL(*button, url("/status/404"), kit::ControlStateNormal, nullptr,
                               KTWebImageOptionNetworkIndicator, manager_, nullptr, nullptr, failed.completion());
  ASSERT_TRUE(settle(failed));
  ASSERT_TRUE(failed.last().error);
  EXPECT_EQ(failed.last().error->code(), 404);
  EXPECT_EQ(failed.last().stage, KTWebImageStageFinished);
}

TEST_F(WebImageViewTest, FadesFinalAndPartialImagesAndLeavesReleasedViewsAlone) {
  auto view = kit::ImageView::make();
  std::vector<double> fades;
  Recorder recorder;
  auto completion = recorder.completion();
  KT_setImageWithURL(*view, url("/stream/progressive.jpg"), nullptr,
                     KTWebImageOptionFade | KTWebImageOptionProgressive, manager_, nullptr, nullptr,
                     [&](const kit::Ref<kit::Image>& image, const kit::Ref<kit::URL>& u, KTWebImageSource from,
                         KTWebImageStage stage, const kit::Ref<kit::Error>& error) {
                       auto fade = view->layer()->animationForKey("KTWebImageFade");
                       if (image && fade) fades.push_back(fade->duration());
                       completion(image, u, from, stage, error);
                     });
  ASSERT_TRUE(settle(recorder));
  ASSERT_GE(fades.size(), 2u);
  EXPECT_DOUBLE_EQ(fades.front(), 0.4);
  EXPECT_DOUBLE_EQ(fades.back(), 0.2);
  auto transition = kit::as<kit::Transition>(view->layer()->animationForKey("KTWebImageFade"));
  ASSERT_TRUE(transition);
  EXPECT_EQ(transition->type(), kit::TransitionFade);

  // A highlighted view does not fade its plain image.
  auto highlighted = kit::ImageView::make();
  highlighted->setHighlighted(true);
  Recorder plain;
  KT_setImageWithURL(*highlighted, url("/plain.png"), nullptr, KTWebImageOptionFade | KTWebImageOptionRefreshCache,
                     manager_, nullptr, nullptr, plain.completion());
  ASSERT_TRUE(settle(plain));
  EXPECT_FALSE(highlighted->layer()->animationForKey("KTWebImageFade"));
  EXPECT_TRUE(highlighted->image());

  Recorder released;
  kit::Weak<kit::ImageView> gone;
  {
    auto shortLived = kit::ImageView::make();
    gone = shortLived;
    KT_setImageWithURL(*shortLived, url("/slow/plain.png"), nullptr, KTWebImageOptionRefreshCache, manager_, nullptr,
                       nullptr, released.completion());
  }
  EXPECT_TRUE(gone.expired());
  ASSERT_TRUE(settle(released));
  EXPECT_EQ(released.last().stage, KTWebImageStageCancelled);
}

TEST_F(WebImageViewTest, LayersAndAnnotationViewsTakeTheirPictures) {
  auto layer = kit::Layer::make();
  auto annotation = kit::MapAnnotationView::make();
  Recorder forLayer, forAnnotation;
  KT_setImageWithURL(*layer, url("/plain.png"), nullptr, KTWebImageOptions{}, manager_, nullptr, nullptr,
                     forLayer.completion());
  KT_setImageWithURL(*annotation, kit::String::make(server_.url("/baseline.jpg")), nullptr, KTWebImageOptions{}, manager_, nullptr,
                     nullptr, forAnnotation.completion());
  ASSERT_TRUE(settle(forLayer) && settle(forAnnotation));
  ASSERT_TRUE(layer->contents());
  EXPECT_EQ(layer->contents()->width(), 40u);
  ASSERT_TRUE(annotation->image());
  EXPECT_EQ(annotation->image(), forAnnotation.last().image);
  EXPECT_EQ(KT_imageURL(*annotation)->path()->utf8(), "/baseline.jpg");
  KT_cancelCurrentImageRequest(*layer);
  EXPECT_FALSE(KT_imageURL(*layer));
}

}  // namespace
