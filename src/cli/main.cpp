#include "cli/entry.h"
#include "engine/run_executor.h"

int main(int argc, char** argv) {
  return tintara::runTintara(argc, argv, tintara::threadExecutor());
}
