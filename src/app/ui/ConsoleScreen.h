#pragma once

#include <QString>
#include <QStringList>

namespace pellux {

// The text of a job console as a terminal shows it: "\n" starts a line, "\r"
// returns to its start so that the following text overwrites it (progress
// bars animate in place), "\b" steps back one character.
class ConsoleScreen {
 public:
  void Apply(const QString& text);
  const QStringList& Lines() const { return lines_; }
  QString Text() const { return lines_.join(QLatin1Char('\n')); }
  // The first line changed since the last call, or -1 when none was.
  int TakeFirstChangedLine();

 private:
  void MarkChanged(int line);

  QStringList lines_{QString()};
  int column_ = 0;
  int firstChanged_ = -1;
};

}  // namespace pellux
