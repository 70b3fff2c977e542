#include "app/ui/DialogApplication.h"

#include <clocale>

DialogApplication::DialogApplication(int& argc, char** argv) : QApplication(argc, argv) {
  std::setlocale(LC_NUMERIC, "C");
}
