// SPDX-License-Identifier: BSD-2-Clause
#include "capture/dump_io.h"
#include "panel/panel.h"

int main(int argc, char** argv) {
  PrepareDumpWrites();
  return RunTarnex(argc, argv);
}
