#pragma once
// Threads service: the library's own worker threads. On Windows each
// holds its own reference to the module that holds this code from before
// it starts to its very end (it leaves through FreeLibraryAndExitThread),
// so that a host unloading the library while one runs never unmaps code it
// still runs: the library stays loaded until the last one has ended.
#include <functional>
#include <memory>

namespace korvo {

class WorkerThread {
 public:
  WorkerThread() noexcept;
  // Runs body on a new thread (an exception leaving body is dropped).
  // Throws std::system_error or std::bad_alloc when no thread can be started.
  explicit WorkerThread(std::function<void()> body);
  // Detaches a thread that was not joined.
  ~WorkerThread();
  WorkerThread(WorkerThread&&) noexcept;
  WorkerThread& operator=(WorkerThread&&) noexcept;

  bool joinable() const { return state_ != nullptr; }
  // Waits until the thread has ended. Never inside the unload notification.
  void join();
  // The thread ends on its own.
  void detach();

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace korvo
