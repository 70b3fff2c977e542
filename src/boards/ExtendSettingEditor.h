#pragma once

#include <memory>
#include <string>

#include "base/Cancellation.h"
#include "boards/ExtendSettingForm.h"

namespace pellux {

class CCamVer1;

// What an extend setting dialog's window does for the editor: its boxes,
// its message boxes, and waiting for the board while it stays painted.
class ExtendSettingView {
 public:
  virtual ~ExtendSettingView() = default;
  virtual std::string BoxText(size_t box) const = 0;
  virtual void SetBoxText(size_t box, const std::string& text) = 0;
  // A message box with an OK button; returns when the user has closed it.
  virtual void ShowMessage(const std::string& text) = 0;
  // Waits up to `milliseconds` for the board's next answer; true when one
  // came (it has then been taken).
  virtual bool WaitForAnswer(CCamVer1& board, int milliseconds) = 0;
  virtual void Pause(int milliseconds) = 0;
};

inline constexpr const char* kLoadComplete = "Load complete.";
inline constexpr const char* kLoadFail = "Load Fail";
inline constexpr const char* kLoadFirst = "Load button click first.";
inline constexpr const char* kPortOpenFail = "Comm port open fail.";
inline constexpr const char* kSaveComplete = "Save complete.\r\nCheck the parameters was changed.";

// The behaviour of an extend setting dialog without its window: Load asks
// the running board for the values and fills the boxes, Save sends the
// boxes back. Save is refused until a Load has filled every box; a Load that
// does not fill every box (no answer, or an answer of the wrong shape) ends
// in "Load Fail", and the boxes it did fill keep their new text.
class ExtendSettingEditor {
 public:
  ExtendSettingEditor(const ExtendSettingForm& form, std::string portName, ExtendSettingView& view);
  ~ExtendSettingEditor();
  ExtendSettingEditor(const ExtendSettingEditor&) = delete;
  ExtendSettingEditor& operator=(const ExtendSettingEditor&) = delete;

  void OnLoad();
  void OnSave();
  bool IsLoaded() const { return loaded_; }
  const ExtendSettingForm& Form() const { return form_; }

 private:
  // The dialog's own link, or a new one for this exchange (kept in `fresh`).
  CCamVer1& Link(std::unique_ptr<CCamVer1>& fresh);
  void Send(CCamVer1& board, const std::string& text);

  const ExtendSettingForm& form_;
  const std::string portName_;
  ExtendSettingView& view_;
  // The exchanges run outside any job, so nothing cancels them: each wait
  // ends by its own time limit.
  CancelToken exchanges_;
  std::unique_ptr<CCamVer1> dialogLink_;
  bool loaded_ = false;
};

}  // namespace pellux
