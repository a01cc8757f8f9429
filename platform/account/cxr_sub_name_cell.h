// CXRSubNameCell: one row of the sub-account chooser, from its nib
// "CXRSubNameCell": the sub-account's nickname on a white row. Main thread.
#pragma once

#include "kit/ui/label.h"
#include "kit/ui/table_view_cell.h"
#include "platform/account/cxr_sub_name_model.h"

class CXRSubNameCell : public kit::TableViewCell {
 public:
  static constexpr const char* NibName = "CXRSubNameCell";
  explicit CXRSubNameCell(const kit::Rect& frame);

  // The nib's outlet.
  kit::Ref<kit::Label> nickNameL() const { return nickNameL_.lock(); }
  void setNickNameL(const kit::Ref<kit::Label>& label) { nickNameL_ = label; }

  const kit::Ref<CXRSubNameModel>& model() const { return model_; }
  // Shows the model's nickname, or its user name when the nickname
  // names nothing.
  void setModel(kit::Ref<CXRSubNameModel> model);

  // Registers the nib with the scene registry (once; also done when the
  // program starts).
  static void registerNib();

 private:
  kit::Weak<kit::Label> nickNameL_;
  kit::Ref<CXRSubNameModel> model_;
};
