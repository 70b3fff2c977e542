#include "app/ui/ConsoleScreen.h"

namespace pellux {

void ConsoleScreen::Apply(const QString& text) {
  for (const QChar ch : text) {
    const int row = static_cast<int>(lines_.size()) - 1;
    if (ch == QLatin1Char('\n')) {
      lines_.append(QString());
      column_ = 0;
      MarkChanged(row + 1);
    } else if (ch == QLatin1Char('\r')) {
      column_ = 0;
    } else if (ch == QLatin1Char('\b')) {
      if (column_ > 0) --column_;
    } else if (ch.unicode() >= 0x20 || ch == QLatin1Char('\t')) {
      QString& line = lines_.last();
      if (column_ < line.size()) {
        line[column_] = ch;
      } else {
        line.append(QString(column_ - line.size(), QLatin1Char(' ')));
        line.append(ch);
      }
      ++column_;
      MarkChanged(row);
    }
  }
}

int ConsoleScreen::TakeFirstChangedLine() {
  const int first = firstChanged_;
  firstChanged_ = -1;
  return first;
}

void ConsoleScreen::MarkChanged(int line) {
  if (firstChanged_ < 0 || line < firstChanged_) firstChanged_ = line;
}

}  // namespace pellux
