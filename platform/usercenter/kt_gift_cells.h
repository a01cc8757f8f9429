// The rows of the welfare page's gift packs, from their scenes in the
// scene registry:
//   KTGetGiftCell   a pack not yet claimed: name, contents, the share of
//                   codes left as a bar on a 150-point track and as text,
//                   how many claimed it, and the claim button ("已领取"
//                   once claimed, "已抢完" when none is left)
//   KTCopyGiftCell  a claimed pack: name, the code, contents, a copy button
// Main thread.
#pragma once

#include <functional>

#include "kit/ui/button.h"
#include "kit/ui/label.h"
#include "kit/ui/table_view_cell.h"
#include "platform/usercenter/kt_su_models.h"

class KTGetGiftCell : public kit::TableViewCell {
 public:
  static constexpr const char* SceneName = "KTGetGiftCell";
  static constexpr const char* ClaimTitle = "领取";
  static constexpr const char* ClaimedTitle = "已领取";
  static constexpr const char* GoneTitle = "已抢完";
  static constexpr double TrackW = 150;
  using GetCodeBlock = std::function<void(kit::Button& button)>;

  static kit::Ref<KTGetGiftCell> make();
  // Registers the nib "KTGetGiftCell" (idempotent).
  static void registerNib();
  explicit KTGetGiftCell(const kit::Rect& frame) : kit::TableViewCell(frame) {}

  const kit::Ref<KTSuGiftModel>& model() const { return model_; }
  void setModel(const kit::Ref<KTSuGiftModel>& model);
  // The claim button: getCodeBlock with the button, when one is set.
  void btnClick(kit::Button& button);
  const GetCodeBlock& getCodeBlock() const { return getCodeBlock_; }
  void setGetCodeBlock(GetCodeBlock block) { getCodeBlock_ = std::move(block); }

  kit::Ref<kit::Label> typeL() const { return typeL_.lock(); }
  kit::Ref<kit::Label> contentL() const { return contentL_.lock(); }
  kit::Ref<kit::Label> countL() const { return countL_.lock(); }
  kit::Ref<kit::Label> residueL() const { return residueL_.lock(); }
  kit::Ref<kit::View> lineView() const { return lineView_.lock(); }
  kit::Ref<kit::Button> getBtn() const { return getBtn_.lock(); }

 private:
  void buildScene();

  kit::Ref<KTSuGiftModel> model_;
  GetCodeBlock getCodeBlock_;
  kit::Weak<kit::Label> typeL_, contentL_, countL_, residueL_;
  kit::Weak<kit::View> lineView_, track_;
  kit::Weak<kit::Button> getBtn_;
};

class KTCopyGiftCell : public kit::TableViewCell {
 public:
  static constexpr const char* SceneName = "KTCopyGiftCell";
  static constexpr const char* CopyTitle = "复制";
  using CopyBlock = std::function<void(const kit::Ref<kit::String>& code)>;

  static kit::Ref<KTCopyGiftCell> make();
  // Registers the nib "KTCopyGiftCell" (idempotent).
  static void registerNib();
  explicit KTCopyGiftCell(const kit::Rect& frame) : kit::TableViewCell(frame) {}

  const kit::Ref<KTSuGiftModel>& model() const { return model_; }
  void setModel(const kit::Ref<KTSuGiftModel>& model);
  // The copy button: copyBlock with the record's code, when one is set.
  void copyBtnClick();
  const CopyBlock& copyBlock() const { return copyBlock_; }
  void setCopyBlock(CopyBlock block) { copyBlock_ = std::move(block); }

  kit::Ref<kit::Label> typeL() const { return typeL_.lock(); }
  kit::Ref<kit::Label> codeL() const { return codeL_.lock(); }
  kit::Ref<kit::Label> contentL() const { return contentL_.lock(); }
  kit::Ref<kit::Button> copyBtn() const { return copyBtn_.lock(); }

 private:
  void buildScene();

  kit::Ref<KTSuGiftModel> model_;
  CopyBlock copyBlock_;
  kit::Weak<kit::Label> typeL_, codeL_, contentL_;
  kit::Weak<kit::Button> copyBtn_;
};
