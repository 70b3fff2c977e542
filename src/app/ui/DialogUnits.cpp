#include "app/ui/DialogUnits.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <vector>

namespace pellux {

namespace {
int Map(int units, double baseUnit, int unitsPerBase) {
  return static_cast<int>(std::lround(units * baseUnit / unitsPerBase));
}

// How much wider the base unit must be for every button and label text to
// fit its rectangle; capped so a strange face cannot blow the dialog up.
double TextWidthShortfall(const std::vector<std::pair<QWidget*, QRect>>& controls,
                          double baseWidth) {
  double factor = 1.0;
  for (const auto& [control, units] : controls) {
    if (!control->inherits("QAbstractButton") && !control->inherits("QLabel")) continue;
    const double width = units.width() * baseWidth / 4;
    if (width <= 0) continue;
    factor = std::max(factor, control->sizeHint().width() / width);
  }
  return std::min(factor, 1.5);
}
}  // namespace

QSize DialogBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width over the letters, the way the dialog manager measures it.
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int width = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
  return {width, metrics.height()};
}

QRect DialogUnitsToPixels(const QRect& units, QSizeF baseUnits) {
  const int left = Map(units.left(), baseUnits.width(), 4);
  const int top = Map(units.top(), baseUnits.height(), 8);
  const int right = Map(units.left() + units.width(), baseUnits.width(), 4);
  const int bottom = Map(units.top() + units.height(), baseUnits.height(), 8);
  return QRect(left, top, right - left, bottom - top);
}

QSizeF LayOutFromDialogUnits(QWidget& form) {
  const QSize measured = DialogBaseUnits(form.font());
  if (measured.isEmpty()) return {};
  std::vector<std::pair<QWidget*, QRect>> controls;
  for (QWidget* child : form.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (child->isWindow()) continue;
    controls.emplace_back(child, child->geometry());
  }
  const QSizeF base(measured.width() * TextWidthShortfall(controls, measured.width()),
                    measured.height());
  for (const auto& [control, units] : controls) {
    QRect pixels = DialogUnitsToPixels(units, base);
    if (qobject_cast<QComboBox*>(control)) pixels.setHeight(control->sizeHint().height());
    control->setGeometry(pixels);
  }
  form.setFixedSize(DialogUnitsToPixels(QRect(QPoint(0, 0), form.size()), base).size());
  return base;
}

QFont DialogFont(int pointSize) {
  QFont font;
  font.setFamilies({QStringLiteral("MS Shell Dlg 2"), QStringLiteral("Microsoft Sans Serif"),
                    QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
  font.setPointSize(pointSize);
  return font;
}

}  // namespace pellux
