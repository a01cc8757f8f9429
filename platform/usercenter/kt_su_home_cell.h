// KTSuHomeCell: a news row of the home page's three-row table: the
// category tag (red for "活动", else blue) and the title; from its scene
// "KTSuHomeCell" of the scene registry. Main thread.
#pragma once

#include "kit/ui/label.h"
#include "kit/ui/table_view_cell.h"
#include "platform/usercenter/kt_su_models.h"

class KTSuHomeCell : public kit::TableViewCell {
 public:
  static constexpr const char* SceneName = "KTSuHomeCell";

  static kit::Ref<KTSuHomeCell> make();
  // Registers the nib "KTSuHomeCell" (idempotent).
  static void registerNib();
  explicit KTSuHomeCell(const kit::Rect& frame) : kit::TableViewCell(frame) {}

  const kit::Ref<KTSuHomeMsgModel>& model() const { return model_; }
  void setModel(const kit::Ref<KTSuHomeMsgModel>& model);

  kit::Ref<kit::Label> tagL() const { return tagL_.lock(); }
  kit::Ref<kit::Label> contentL() const { return contentL_.lock(); }

 private:
  void buildScene();

  kit::Ref<KTSuHomeMsgModel> model_;
  kit::Weak<kit::Label> tagL_, contentL_;
};
