#include "platform/worker_thread.h"

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

}  // namespace korvo
