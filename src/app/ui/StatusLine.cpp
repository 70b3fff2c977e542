#include "app/ui/StatusLine.h"

#include <QLabel>

namespace pellux {

int PlaceStatusLine(QLabel& label, const std::string& text, int below, int gap, int margin) {
  label.setTextFormat(Qt::PlainText);
  label.setWordWrap(true);
  label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label.setText(QString::fromStdString(text));
  label.setVisible(!text.empty());
  if (text.empty()) return 0;
  const int textHeight = label.heightForWidth(label.width());
  label.setAutoFillBackground(true);
  label.setGeometry(label.x(), below + gap, label.width(), textHeight + margin);
  label.raise();
  return gap + textHeight;
}

}  // namespace pellux
