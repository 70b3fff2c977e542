#pragma once

#include <QDialog>
#include <QSize>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/FileSelection.h"
#include "app/MainDialogModel.h"

class QComboBox;

namespace Ui {
class WinUIDlg;
}

namespace pellux {

// The main dialog: machine, port and mode, and the buttons that turn them
// into jobs. Its behaviour lives in MainDialogModel; this class binds the
// widgets of the form to it and carries out what the model decides.
class WinUIDlg : public QDialog {
  Q_OBJECT

 public:
  // `firstToken` is the program's file name as started (local mode by name).
  explicit WinUIDlg(const std::string& firstToken, QWidget* parent = nullptr);
  ~WinUIDlg() override;

  // What stands in for the modal sub-dialogs; tests replace them.
  using FileSelectionRunner =
      std::function<void(const std::string& jobSpec, const ServerFileOffer& offer)>;
  using OpenFilePicker = std::function<std::string(const std::string& filter)>;  // "" = cancel
  void SetFileSelectionRunner(FileSelectionRunner runner) { fileSelection_ = std::move(runner); }
  void SetOpenFilePicker(OpenFilePicker picker) { openFilePicker_ = std::move(picker); }
  // Where Download Online Files puts its folder tree (beside the program by default).
  void SetProgramFolder(std::filesystem::path folder) { programFolder_ = std::move(folder); }

  const MainDialogModel& Model() const { return model_; }
  QComboBox* MachineBox() const;
  QComboBox* PortBox() const;
  QSize FullSize() const { return fullSize_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private slots:
  void OnOnlineUpdate();
  void OnOnlineUpdateSelectable();
  void OnLocalUpdate();
  void OnDownloadOnlineFiles();
  void OnServoDriverSetting();
  void OnStepDriverSetting();
  void OnExtendSetting();
  void OnRescan();
  void OnMachineTypeChanged(int index);
  void OnEngineerHotKey();
  void OnEngineerDoubleClick();

 private:
  DialogSelection CurrentSelection() const;
  void Perform(const DialogAction& action, const DialogSelection& selection);
  void FillPorts(const std::vector<std::string>& ports);
  void ApplyView();

  std::unique_ptr<Ui::WinUIDlg> ui_;
  MainDialogModel model_;
  QSize fullSize_;
  int compactHeight_ = 0;  // the compact view's, without a status line
  std::filesystem::path programFolder_;
  FileSelectionRunner fileSelection_;
  OpenFilePicker openFilePicker_;
};

// What the real open-file dialog makes of a "description|pattern||" filter.
QString QtNameFilters(const std::string& filter);

}  // namespace pellux
