#pragma once

#include <QApplication>

namespace pellux {

// The application object of dialog mode. Qt hands the user's locale to the C
// library; numbers keep '.' as their decimal point all the same, as the
// console jobs print and read them (a German desktop would otherwise print
// "1,50 MB/s" and read "--sb 1.5" as 1).
class DialogApplication : public QApplication {
 public:
  DialogApplication(int& argc, char** argv);
};

}  // namespace pellux
