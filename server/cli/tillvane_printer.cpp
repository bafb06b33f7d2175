#include <cstdio>

#include "server/cli/printer_cli.h"

int main(int argc, char** argv) {
  return tillvane::server::RunPrinterCommand(argc, argv, stdout, stderr);
}
