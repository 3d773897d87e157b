#include "shell/entry.h"

int main(int argc, char** argv) {
  return varnoke::shell::RunProgram(argc, argv);
}
