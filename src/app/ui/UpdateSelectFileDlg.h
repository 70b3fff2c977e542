#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class UpdateSelectFileDlg;
}

namespace pellux {

// Lets the user pick one of the server's files for a job and runs the job
// with it, as often as OK is pressed, until the dialog is closed.
class UpdateSelectFileDlg : public QDialog {
  Q_OBJECT

 public:
  explicit UpdateSelectFileDlg(QWidget* parent = nullptr);
  ~UpdateSelectFileDlg() override;

  // Sets the job and the offered names (shown as given, the first selected),
  // and the line under the buttons that says why there are none.
  void SetJob(const std::string& jobSpec, const std::vector<std::string>& fileNames,
              const std::string& statusLine = {});

 private slots:
  void OnRunSelected();

 private:
  std::unique_ptr<Ui::UpdateSelectFileDlg> ui_;
  QSize formSize_;  // without a status line
  std::string jobSpec_;
  std::vector<std::string> fileNames_;
};

}  // namespace pellux
