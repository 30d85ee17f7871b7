// SPDX-License-Identifier: BSD-2-Clause
#include "panel/panel.h"

int main(int argc, char** argv) {
  return RunTarnex(argc, argv);
}
