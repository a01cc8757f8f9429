// KTKaifuCell: one server opening in a row 300 points wide: its day, its
// time and the server's name (wrapping at width 100), from its scene
// "KTKaifuCell" of the scene registry. Main thread.
#pragma once

#include "kit/ui/label.h"
#include "kit/ui/table_view_cell.h"
#include "platform/usercenter/kt_su_models.h"

class KTKaifuCell : public kit::TableViewCell {
 public:
  static constexpr const char* SceneName = "KTKaifuCell";

  // The cell as its scene builds it.
  static kit::Ref<KTKaifuCell> make();
  // Registers the nib "KTKaifuCell" (idempotent).
  static void registerNib();
  explicit KTKaifuCell(const kit::Rect& frame) : kit::TableViewCell(frame) {}

  const kit::Ref<KTSuKaifuModel>& model() const { return model_; }
  // Keeps the record and shows its day, time and server name.
  void setModel(const kit::Ref<KTSuKaifuModel>& model);

  kit::Ref<kit::Label> dayL() const { return dayL_.lock(); }
  kit::Ref<kit::Label> timeL() const { return timeL_.lock(); }
  kit::Ref<kit::Label> serverL() const { return serverL_.lock(); }

 private:
  void buildScene();

  kit::Ref<KTSuKaifuModel> model_;
  kit::Weak<kit::Label> dayL_, timeL_, serverL_;
};
