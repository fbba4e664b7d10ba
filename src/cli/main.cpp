#include "cli/entry.h"

int main(int argc, char** argv) {
  return tintara::runTintara(argc, argv);
}
