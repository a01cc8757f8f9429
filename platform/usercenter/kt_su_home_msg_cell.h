// KTSuHomeMsgCell: one message of the message list: its category tag (red
// for "活动", else blue), an optional picture 70 points wide (no width and
// hidden without one), the title after eleven spaces (the tag sits over
// them) and the date; from its scene "KTSuHomeMsgCell" of the scene
// registry. Main thread.
#pragma once

#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/layout_constraint.h"
#include "kit/ui/table_view_cell.h"
#include "platform/usercenter/kt_su_models.h"

class KTSuHomeMsgCell : public kit::TableViewCell {
 public:
  static constexpr const char* SceneName = "KTSuHomeMsgCell";
  static constexpr const char* ActivityTag = "活动";
  static constexpr unsigned ActivityColour = 0xEF5651, OtherColour = 0x5AB9FD;
  static constexpr double PictureW = 70;

  static kit::Ref<KTSuHomeMsgCell> make();
  // Registers the nib "KTSuHomeMsgCell" (idempotent).
  static void registerNib();
  explicit KTSuHomeMsgCell(const kit::Rect& frame) : kit::TableViewCell(frame) {}

  const kit::Ref<KTSuHomeMsgModel>& model() const { return model_; }
  void setModel(const kit::Ref<KTSuHomeMsgModel>& model);

  kit::Ref<kit::Label> tagL() const { return tagL_.lock(); }
  kit::Ref<kit::ImageView> iconView() const { return iconView_.lock(); }
  kit::Ref<kit::LayoutConstraint> imageW() const { return imageW_.lock(); }
  kit::Ref<kit::Label> contentL() const { return contentL_.lock(); }
  kit::Ref<kit::Label> timeL() const { return timeL_.lock(); }

 private:
  void buildScene();

  kit::Ref<KTSuHomeMsgModel> model_;
  kit::Weak<kit::Label> tagL_, contentL_, timeL_;
  kit::Weak<kit::ImageView> iconView_;
  kit::Weak<kit::LayoutConstraint> imageW_;
};
