#include "engine/worker_thread.h"

#include <pthread.h>

#include <exception>
#include <system_error>

namespace tintara {

struct WorkerThread::Handle {
  pthread_t thread{};
  std::function<void()> body;
  bool joinable = false;
};

namespace {

void* runBody(void* body) {
  // An exception must not unwind into the C library's thread start: as with
  // std::thread, one that escapes the body ends the program. The engine's
  // workers hand every exception of a run to their pool instead.
  try {
    (*static_cast<std::function<void()>*>(body))();
  } catch (...) {
    std::terminate();
  }
  return nullptr;
}

}  // namespace

WorkerThread::WorkerThread(std::function<void()> body) : handle(std::make_unique<Handle>()) {
  handle->body = std::move(body);
  pthread_attr_t attributes;
  int error = pthread_attr_init(&attributes);
  if (error == 0) {
    error = pthread_attr_setstacksize(&attributes, kWorkerStackBytes);
    if (error == 0) error = pthread_create(&handle->thread, &attributes, runBody, &handle->body);
    pthread_attr_destroy(&attributes);
  }
  if (error != 0) {
    throw ThreadStartError(error, std::generic_category(), "cannot start a worker thread");
  }
  handle->joinable = true;
}

WorkerThread::~WorkerThread() {
  if (handle) join();
}

WorkerThread::WorkerThread(WorkerThread&& other) noexcept = default;

void WorkerThread::join() {
  if (!handle->joinable) return;
  pthread_join(handle->thread, nullptr);
  handle->joinable = false;
}

}  // namespace tintara
