#include "app/ui/DialogApplication.h"

#include <clocale>

namespace pellux {

DialogApplication::DialogApplication(int& argc, char** argv) : QApplication(argc, argv) {
  std::setlocale(LC_NUMERIC, "C");
}

}  // namespace pellux
