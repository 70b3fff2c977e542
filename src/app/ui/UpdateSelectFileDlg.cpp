#include "app/ui/UpdateSelectFileDlg.h"

#include <QAbstractItemView>

#include "app/FileSelection.h"
#include "app/ui/DialogUnits.h"
#include "app/ui/MessageBox.h"
#include "app/ui/StatusLine.h"
#include "jobs/ConsoleRunner.h"
#include "ui_UpdateSelectFileDlg.h"

namespace pellux {

UpdateSelectFileDlg::UpdateSelectFileDlg(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::UpdateSelectFileDlg>()) {
  ui_->setupUi(this);
  setFont(DialogFont(8));
  LayOutFromDialogUnits(*this);
  formSize_ = size();
  ui_->statusLine->hide();
  connect(ui_->IDC_1005, &QPushButton::clicked, this, &UpdateSelectFileDlg::OnRunSelected);
  connect(ui_->IDCANCEL, &QPushButton::clicked, this, &QDialog::reject);
  ui_->IDC_1006->view()->setMinimumWidth(400);
}

UpdateSelectFileDlg::~UpdateSelectFileDlg() = default;

void UpdateSelectFileDlg::SetJob(const std::string& jobSpec,
                                 const std::vector<std::string>& fileNames,
                                 const std::string& statusLine) {
  const int below = ui_->IDC_1005->geometry().bottom() + 1;
  const int rowGap = ui_->IDC_1005->y() - (ui_->staticSelectFile->geometry().bottom() + 1);
  const int grow =
      PlaceStatusLine(*ui_->statusLine, statusLine, below, rowGap, formSize_.height() - below);
  setFixedSize(formSize_.width(), formSize_.height() + grow);
  jobSpec_ = jobSpec;
  fileNames_ = fileNames;
  ui_->IDC_1006->clear();
  for (const std::string& name : fileNames_) ui_->IDC_1006->addItem(QString::fromStdString(name));
  ui_->IDC_1006->setCurrentIndex(fileNames_.empty() ? -1 : 0);
}

void UpdateSelectFileDlg::OnRunSelected() {
  const int index = ui_->IDC_1006->currentIndex();
  const auto job = SelectedFileJob(jobSpec_, fileNames_,
                                   index < 0 ? std::nullopt : std::optional<size_t>(index));
  if (!job) return;  // an empty list starts nothing
  if (!RunJobInConsole(*job)) ShowMessage(QStringLiteral("Fail"), MessageIcon::Stop);
}

}  // namespace pellux
