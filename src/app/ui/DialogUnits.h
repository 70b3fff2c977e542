#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QSizeF>

class QWidget;

namespace pellux {

// Dialog templates place controls in dialog units: a quarter of the dialog
// font's average character width across, an eighth of its height down.
QSize DialogBaseUnits(const QFont& font);

// A rectangle in dialog units as pixels for `baseUnits`, each edge rounded
// on its own (as the dialog manager maps a template's rectangles).
QRect DialogUnitsToPixels(const QRect& units, QSizeF baseUnits);

// The one conversion of every dialog of the program. The forms hold the
// rectangles of the dialog and of its controls in dialog units, as the
// templates give them; this places every control in pixels for the base
// units of the font the dialog really gets, widened where that face's texts
// are wider against its average letter than the dialog manager's, and fixes
// the dialog's size. A drop-down combo box's template height includes its
// list: the box itself keeps its own height. Returns the base units used.
QSizeF LayOutFromDialogUnits(QWidget& form);

// The dialog font: "MS Shell Dlg" where it exists, a similar sans serif face elsewhere.
QFont DialogFont(int pointSize);

}  // namespace pellux
