#include "app/ui/WinUIDlg.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QPushButton>
#include <QShortcut>

#include "app/FileSelection.h"
#include "app/OnlineFilesDownload.h"
#include "app/OpenFileFilter.h"
#include "app/ui/DialogUnits.h"
#include "app/ui/MessageBox.h"
#include "app/ui/StatusLine.h"
#include "app/ui/UpdateSelectFileDlg.h"
#include "boards/ui/ExtendSetting.h"
#include "jobs/ConsoleRunner.h"
#include "jobs/JobDriver.h"
#include "ui_WinUIDlg.h"

namespace pellux {

namespace {
// The compact view's window edge lies this far below the Online Update
// button; the window's bottom border (a modal frame) is part of that margin.
constexpr int kCompactMargin = 13;
constexpr int kModalFrameBorder = 3;
constexpr int kDropDownWidth = 400;

void RunSelectFileDialog(const std::string& jobSpec, const ServerFileOffer& offer) {
  UpdateSelectFileDlg dialog;
  dialog.SetJob(jobSpec, offer.fileNames, offer.statusLine);
  dialog.exec();
}

std::string PickOpenFile(const std::string& filter) {
  QFileDialog dialog(nullptr, QString(), QString(), QtNameFilters(filter));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
#ifndef _WIN32
  // Qt's own dialog matches the upper-case patterns without regard to case.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
#endif
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return QFile::encodeName(dialog.selectedFiles().first()).toStdString();
}

std::optional<std::string> SelectedText(const QComboBox* box) {
  if (box->currentIndex() < 0) return std::nullopt;
  return box->currentText().toStdString();
}
}  // namespace

QString QtNameFilters(const std::string& filter) {
  QStringList filters;
  for (const OpenFileFilterEntry& entry : SplitOpenFileFilter(filter)) {
    const QString description = QString::fromStdString(entry.description).trimmed();
    const QString pattern = QString::fromStdString(entry.pattern).trimmed();
    const QString shown = QLatin1Char('(') + pattern + QLatin1Char(')');
    filters << (description.endsWith(shown) ? description : description + QLatin1Char(' ') + shown);
  }
  return filters.join(QStringLiteral(";;"));
}

WinUIDlg::WinUIDlg(const std::string& firstToken, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::WinUIDlg>()),
      programFolder_(QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString()),
      fileSelection_(RunSelectFileDialog),
      openFilePicker_(PickOpenFile) {
  ui_->setupUi(this);
  setFont(DialogFont(9));
  LayOutFromDialogUnits(*this);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  auto* hotKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_E), this);
  connect(hotKey, &QShortcut::activated, this, &WinUIDlg::OnEngineerHotKey);

  // Compact view: the window ends a little below the Online Update button.
  fullSize_ = size();
  compactHeight_ = ui_->IDC_1004->geometry().bottom() + 1 + kCompactMargin - kModalFrameBorder;
  setFixedSize(fullSize_.width(), compactHeight_);

  model_.Initialise(firstToken);
  ApplyView();
  ui_->IDC_1004->setText(QString::fromStdString(model_.OnlineButtonText()));
  for (const std::string& name : model_.MachineNames()) {
    ui_->IDC_1003->addItem(QString::fromStdString(name));
  }
  ui_->IDC_1003->view()->setMinimumWidth(kDropDownWidth);
  const auto initial = model_.InitialMachine();
  ui_->IDC_1003->setCurrentIndex(initial ? static_cast<int>(*initial) : -1);
  FillPorts(model_.Ports());
  ui_->IDC_1000->setChecked(true);

  connect(ui_->IDC_1004, &QPushButton::clicked, this, &WinUIDlg::OnOnlineUpdate);
  connect(ui_->IDC_1006, &QPushButton::clicked, this, &WinUIDlg::OnOnlineUpdateSelectable);
  connect(ui_->IDC_1008, &QPushButton::clicked, this, &WinUIDlg::OnLocalUpdate);
  connect(ui_->IDC_1009, &QPushButton::clicked, this, &WinUIDlg::OnDownloadOnlineFiles);
  connect(ui_->IDC_1011, &QPushButton::clicked, this, &WinUIDlg::OnServoDriverSetting);
  connect(ui_->IDC_1012, &QPushButton::clicked, this, &WinUIDlg::OnStepDriverSetting);
  connect(ui_->IDC_1013, &QPushButton::clicked, this, &WinUIDlg::OnExtendSetting);
  connect(ui_->IDC_1021, &QPushButton::clicked, this, &WinUIDlg::OnRescan);
  connect(ui_->IDCANCEL, &QPushButton::clicked, this, &QDialog::reject);
  // Only the user's choices are saved, not the selection made here.
  connect(ui_->IDC_1003, &QComboBox::activated, this, &WinUIDlg::OnMachineTypeChanged);
}

WinUIDlg::~WinUIDlg() = default;

QComboBox* WinUIDlg::MachineBox() const {
  return ui_->IDC_1003;
}
QComboBox* WinUIDlg::PortBox() const {
  return ui_->IDC_1005;
}

DialogSelection WinUIDlg::CurrentSelection() const {
  DialogSelection selection;
  selection.machineText = SelectedText(ui_->IDC_1003);
  selection.portText = SelectedText(ui_->IDC_1005);
  if (ui_->IDC_1000->isChecked()) {
    selection.mode = ModeRadio::Firmware;
  } else if (ui_->IDC_1001->isChecked()) {
    selection.mode = ModeRadio::Fpga;
  } else if (ui_->IDC_1002->isChecked()) {
    selection.mode = ModeRadio::Initialize;
  } else if (ui_->IDC_1007->isChecked()) {
    selection.mode = ModeRadio::Application;
  }
  return selection;
}

void WinUIDlg::Perform(const DialogAction& action, const DialogSelection& selection) {
  switch (action.kind) {
    case DialogAction::Kind::Nothing:
      return;
    case DialogAction::Kind::Refuse:
      ShowMessage(QString::fromStdString(action.message), MessageIcon::Warning);
      return;
    case DialogAction::Kind::RunJob:
      // The job reports through its own console lines; the result is not shown here.
      RunJobInConsole(action.jobArgs);
      return;
    case DialogAction::Kind::SelectServerFile:
      fileSelection_(action.jobSpec, OfferServerFiles(action.jobSpec, action.standardList));
      return;
    case DialogAction::Kind::PickLocalFile:
      Perform(model_.LocalUpdateChosen(selection, openFilePicker_(action.filter)), selection);
      return;
    case DialogAction::Kind::DownloadOnlineFiles:
      DownloadOnlineFilesInConsole(programFolder_, action.machineKey);
      return;
    case DialogAction::Kind::ExtendSetting:
      RunExtendSetting(action.machineText, action.machineKey, action.portText);
      return;
  }
}

void WinUIDlg::OnOnlineUpdate() {
  const DialogSelection selection = CurrentSelection();
  Perform(model_.OnOnlineUpdate(selection), selection);
}

void WinUIDlg::OnOnlineUpdateSelectable() {
  const DialogSelection selection = CurrentSelection();
  Perform(model_.OnOnlineUpdateSelectable(selection), selection);
}

void WinUIDlg::OnLocalUpdate() {
  const DialogSelection selection = CurrentSelection();
  Perform(model_.OnLocalUpdate(selection), selection);
}

void WinUIDlg::OnDownloadOnlineFiles() {
  const DialogSelection selection = CurrentSelection();
  Perform(model_.OnDownloadOnlineFiles(selection), selection);
}

void WinUIDlg::OnServoDriverSetting() {
  const DialogSelection selection = CurrentSelection();
  Perform(model_.OnServoDriverSetting(selection), selection);
}

void WinUIDlg::OnStepDriverSetting() {
  const DialogSelection selection = CurrentSelection();
  Perform(model_.OnStepDriverSetting(selection), selection);
}

void WinUIDlg::OnExtendSetting() {
  const DialogSelection selection = CurrentSelection();
  Perform(model_.OnExtendSetting(selection), selection);
}

void WinUIDlg::OnRescan() {
  FillPorts(model_.OnRescan());
}

void WinUIDlg::FillPorts(const std::vector<std::string>& ports) {
  ui_->IDC_1005->clear();
  for (const std::string& port : ports) ui_->IDC_1005->addItem(QString::fromStdString(port));
  ui_->IDC_1005->setCurrentIndex(ports.empty() ? -1 : 0);
}

void WinUIDlg::OnMachineTypeChanged(int index) {
  if (index < 0) return;
  model_.OnMachineTypeChanged(ui_->IDC_1003->itemText(index).toStdString());
}

void WinUIDlg::OnEngineerHotKey() {
  if (model_.OnEngineerHotKey()) ApplyView();
}

void WinUIDlg::OnEngineerDoubleClick() {
  model_.OnEngineerDoubleClick();
  ApplyView();
}

void WinUIDlg::ApplyView() {
  // The status line goes under the lowest row of buttons the view shows.
  const bool engineer = model_.IsEngineerView();
  const int height = engineer ? fullSize_.height() : compactHeight_;
  const int below = (engineer ? ui_->IDC_1009 : ui_->IDC_1004)->geometry().bottom() + 1;
  const int rowGap = ui_->IDC_1006->y() - (ui_->IDC_1004->geometry().bottom() + 1);
  const int grow =
      PlaceStatusLine(*ui_->statusLine, model_.StatusLine(), below, rowGap, height - below);
  setFixedSize(fullSize_.width(), height + grow);
  setWindowTitle(QString::fromStdString(model_.CurrentTitle()));
  repaint();
}

void WinUIDlg::keyPressEvent(QKeyEvent* event) {
  const bool plain = event->modifiers() == Qt::NoModifier ||
                     (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
  if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    // A focused button takes Enter; elsewhere there is no default button and
    // Enter ends the dialog, as Esc does.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
      button->click();
    } else {
      accept();
    }
    return;
  }
  QDialog::keyPressEvent(event);
}

void WinUIDlg::mouseDoubleClickEvent(QMouseEvent* event) {
  OnEngineerDoubleClick();
  QDialog::mouseDoubleClickEvent(event);
}

}  // namespace pellux
