#include "cli/entry.h"
#include "engine/run_executor.h"
#include "process/memory_limit.h"

int main(int argc, char** argv) {
  tintara::shareMallocArenaUnderAddressLimit();
  return tintara::runTintara(argc, argv, tintara::threadExecutor());
}
