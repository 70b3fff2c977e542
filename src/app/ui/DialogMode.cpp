#include "app/ui/DialogMode.h"

#include <cstdio>

int RunDialogMode(int, char**, const std::vector<std::string>&) {
  std::fprintf(stderr,
               "This build has no dialog yet: start the program under a job name such as "
               "PUpdate-NR2-Firmware-COM3.\n");
  return 1;
}
