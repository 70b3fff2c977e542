#pragma once

#include <QDialog>

#include <string>
#include <vector>

#include "boards/ExtendSettingEditor.h"

class QKeyEvent;

namespace pellux {

class CFloatEdit;

// The Qt view of an extend setting dialog: binds the form's boxes and its
// Load, Save and Close buttons to the editor. Enter in a value box does
// nothing: no Load that would overwrite what the user typed, no Save. A
// focused button still takes Enter.
class ExtendSettingDialog : public QDialog, private ExtendSettingView {
 public:
  ExtendSettingDialog(const ExtendSettingForm& form, std::string portName, QWidget* parent);

  bool IsLoaded() const { return editor_.IsLoaded(); }

 protected:
  // Once the form's widgets exist (named "id<control id>"): lays them out
  // from their dialog units, fixes the size and binds them.
  void Bind();
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::string BoxText(size_t box) const override;
  void SetBoxText(size_t box, const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  bool WaitForAnswer(CCamVer1& board, int milliseconds) override;
  void Pause(int milliseconds) override;

  ExtendSettingEditor editor_;
  std::vector<CFloatEdit*> boxes_;
};

}  // namespace pellux
