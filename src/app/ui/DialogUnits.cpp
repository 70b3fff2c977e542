#include "app/ui/DialogUnits.h"

#include <QFontMetrics>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace pellux {

namespace {
int Scale(int pixels, int nominal, int actual) {
  return static_cast<int>(std::lround(static_cast<double>(pixels) * actual / nominal));
}
}  // namespace

QSize DialogBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width over the letters, the way the dialog manager measures it.
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int width = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
  return {width, metrics.height()};
}

namespace {
void ScaleForm(QWidget& form, QSize nominal, QSize actual) {
  auto fit = [&](const QRect& rect) {
    const int left = Scale(rect.left(), nominal.width(), actual.width());
    const int top = Scale(rect.top(), nominal.height(), actual.height());
    const int right = Scale(rect.left() + rect.width(), nominal.width(), actual.width());
    const int bottom = Scale(rect.top() + rect.height(), nominal.height(), actual.height());
    return QRect(left, top, right - left, bottom - top);
  };
  for (QWidget* child : form.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    child->setGeometry(fit(child->geometry()));
  }
  form.resize(fit(QRect(QPoint(0, 0), form.size())).size());
}

// How much wider the form must be for every button and label text to fit:
// faces differ in how wide a text is against their average letter.
double TextWidthShortfall(const QWidget& form) {
  double factor = 1.0;
  for (QWidget* child : form.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (!child->inherits("QAbstractButton") && !child->inherits("QLabel")) continue;
    if (child->width() <= 0) continue;
    factor = std::max(factor, static_cast<double>(child->sizeHint().width()) / child->width());
  }
  return std::min(factor, 1.5);
}
}  // namespace

void FitFormToFont(QWidget& form, QSize nominal) {
  const QSize actual = DialogBaseUnits(form.font());
  if (actual.isEmpty()) return;
  if (actual != nominal) ScaleForm(form, nominal, actual);
  const double widen = TextWidthShortfall(form);
  if (widen > 1.0) {
    const int base = 1000;
    ScaleForm(form, QSize(base, 1), QSize(static_cast<int>(std::ceil(base * widen)), 1));
  }
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
