// kit::TableViewCell and kit::TableViewHeaderFooterView: the rows of a table
// view and its section headers and footers. A cell keeps its subviews in its
// content view; the built-in text label, detail label and image view are
// made on first use and placed by the cell's style. A cell is highlighted
// while a finger is on it and reports the tap to its table, which selects
// the row. Cells with a reuse identifier are reused by the table: when one
// scrolls out of sight it waits in the table's reuse queue, and
// prepareForReuse runs before the data source dequeues it again.
//
//   auto cell = table.dequeueReusableCellWithIdentifier("accountCell", indexPath);
//   cell->textLabel()->setText(name);
#pragma once

#include <string>

#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/view.h"

namespace kit {

class TableView;

enum class TableViewCellStyle { Default = 0, Value1, Value2, Subtitle };
enum class TableViewCellSelectionStyle { None = 0, Blue, Gray, Default };
enum class TableViewCellAccessoryType { None = 0, DisclosureIndicator, DetailDisclosureButton, Checkmark, DetailButton };

class TableViewCell : public View {
 public:
  static Ref<TableViewCell> make(TableViewCellStyle style = TableViewCellStyle::Default,
                                 const std::string& reuseIdentifier = "") {
    return kit::make<TableViewCell>(style, reuseIdentifier);
  }
  explicit TableViewCell(TableViewCellStyle style = TableViewCellStyle::Default, std::string reuseIdentifier = "");
  // A cell of the default style with a frame, as a nib or a subclass makes it.
  explicit TableViewCell(const Rect& frame);

  const std::string& reuseIdentifier() const { return reuseIdentifier_; }
  // Set by the table for cells its factories make without one.
  void setReuseIdentifier(std::string identifier) { reuseIdentifier_ = std::move(identifier); }
  TableViewCellStyle style() const { return style_; }

  // The view that holds the cell's content (it fills the cell, less the
  // accessory).
  const Ref<View>& contentView() const { return contentView_; }
  // The built-in subviews, made on first use. The detail label is nil for
  // the default style, as on the platform.
  const Ref<Label>& textLabel();
  Ref<Label> detailTextLabel();
  const Ref<ImageView>& imageView();
  bool hasTextLabel() const { return static_cast<bool>(textLabel_); }

  TableViewCellAccessoryType accessoryType() const { return accessoryType_; }
  void setAccessoryType(TableViewCellAccessoryType t);
  const Ref<View>& accessoryView() const { return accessoryView_; }
  void setAccessoryView(Ref<View> view);
  TableViewCellSelectionStyle selectionStyle() const { return selectionStyle_; }
  void setSelectionStyle(TableViewCellSelectionStyle s) { selectionStyle_ = s; }
  const Ref<View>& backgroundView() const { return backgroundView_; }
  void setBackgroundView(Ref<View> view);
  // Shown behind the content while selected or highlighted (a grey one
  // unless the selection style is none).
  const Ref<View>& selectedBackgroundView();
  void setSelectedBackgroundView(Ref<View> view);
  EdgeInsets separatorInset() const { return separatorInset_; }
  void setSeparatorInset(const EdgeInsets& e) { separatorInset_ = e; setNeedsLayout(); }

  bool isSelected() const { return selected_; }
  void setSelected(bool selected) { setSelected(selected, false); }
  virtual void setSelected(bool selected, bool animated);
  bool isHighlighted() const { return highlighted_; }
  void setHighlighted(bool highlighted) { setHighlighted(highlighted, false); }
  virtual void setHighlighted(bool highlighted, bool animated);

  // Runs before the table hands the cell out again; subclasses reset what
  // the previous row left (the base does nothing, as on the platform).
  virtual void prepareForReuse() {}

  // The separator line the table draws under the cell (hidden when the
  // table has none).
  const Ref<View>& separatorView() const { return separator_; }

  void layoutSubviews() override;
  void touchesBegan(const TouchSet& touches, const Event* event) override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void touchesCancelled(const TouchSet& touches, const Event* event) override;

 private:
  TableView* table() const;
  void showSelectionBackground();

  TableViewCellStyle style_;
  std::string reuseIdentifier_;
  Ref<View> contentView_;
  Ref<Label> textLabel_, detailTextLabel_;
  Ref<ImageView> imageView_;
  TableViewCellAccessoryType accessoryType_ = TableViewCellAccessoryType::None;
  Ref<View> accessoryView_, accessoryMark_;
  TableViewCellSelectionStyle selectionStyle_ = TableViewCellSelectionStyle::Default;
  Ref<View> backgroundView_, selectedBackgroundView_;
  EdgeInsets separatorInset_{0, 15, 0, 0};
  Ref<View> separator_;
  bool selected_ = false, highlighted_ = false;
};

// A section header or footer: a text label (and detail label) in a
// content view, reusable like cells.
class TableViewHeaderFooterView : public View {
 public:
  static Ref<TableViewHeaderFooterView> make(const std::string& reuseIdentifier = "") {
    return kit::make<TableViewHeaderFooterView>(reuseIdentifier);
  }
  explicit TableViewHeaderFooterView(std::string reuseIdentifier = "");

  const std::string& reuseIdentifier() const { return reuseIdentifier_; }
  void setReuseIdentifier(std::string identifier) { reuseIdentifier_ = std::move(identifier); }
  const Ref<View>& contentView() const { return contentView_; }
  const Ref<Label>& textLabel();
  const Ref<Label>& detailTextLabel();
  virtual void prepareForReuse() {}
  void layoutSubviews() override;

 private:
  std::string reuseIdentifier_;
  Ref<View> contentView_;
  Ref<Label> textLabel_, detailTextLabel_;
};

}  // namespace kit
