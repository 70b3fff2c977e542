#pragma once

#include <QFont>
#include <QSize>

class QWidget;

namespace pellux {

// Dialog templates place controls in dialog units: a quarter of the dialog
// font's average character width across, an eighth of its height down. The
// forms are drawn at nominal base units; FitFormToFont moves and sizes every
// control of a form for the base units of the font it really gets, so texts
// keep their room whatever font the platform substitutes.
QSize DialogBaseUnits(const QFont& font);
void FitFormToFont(QWidget& form, QSize nominalBaseUnits);

// The dialog font: "MS Shell Dlg" where it exists, a similar sans serif face elsewhere.
QFont DialogFont(int pointSize);

}  // namespace pellux
