#include <cstdio>

#include "render/cli/render_cli.h"

int main(int argc, char** argv) {
  return tillvane::render::RunRenderCommand(argc, argv, stdout, stderr);
}
