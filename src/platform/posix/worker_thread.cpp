#include "platform/worker_thread.h"

#include <dlfcn.h>

#include <thread>

namespace korvo {

struct WorkerThread::State {
  std::thread thread;
};

WorkerThread::WorkerThread() noexcept = default;

WorkerThread::WorkerThread(std::function<void()> body) : state_(std::make_unique<State>()) {
  state_->thread = std::thread([body = std::move(body)] {
    try {
      body();
    } catch (...) {
    }
  });
}

WorkerThread::~WorkerThread() { detach(); }
WorkerThread::WorkerThread(WorkerThread&&) noexcept = default;

WorkerThread& WorkerThread::operator=(WorkerThread&& other) noexcept {
  detach();
  state_ = std::move(other.state_);
  return *this;
}

void WorkerThread::join() {
  if (!state_) return;
  state_->thread.join();
  state_.reset();
}

void WorkerThread::detach() {
  if (!state_) return;
  state_->thread.detach();
  state_.reset();
}

bool keepLoadedForWorkers() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&keepLoadedForWorkers), &info) == 0 ||
      info.dli_fname == nullptr)
    return false;
  // The handle is never closed: it only marks the library as never
  // unloaded. Too late once the unload has begun (in its destructors).
  return dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}

}  // namespace korvo
