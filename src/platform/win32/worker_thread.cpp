#include "platform/worker_thread.h"

#include <windows.h>

#include <system_error>

namespace korvo {
namespace {

struct Start {
  std::function<void()> body;
  HMODULE module;  // the reference this thread holds; null in a program
};

DWORD WINAPI run(LPVOID parameter) {
  HMODULE module = nullptr;
  {
    std::unique_ptr<Start> start(static_cast<Start*>(parameter));
    module = start->module;
    try {
      start->body();
    } catch (...) {
    }
  }
  // When the host has unloaded the library meanwhile, this drops its last
  // reference: the system unloads it once no code of it runs on this
  // thread any more.
  if (module != nullptr) FreeLibraryAndExitThread(module, 0);
  return 0;
}

// A reference to the module that holds this code, or null when that is
// the program itself (which is never unloaded).
HMODULE referenceThisModule() {
  HMODULE self = nullptr;
  const auto address = reinterpret_cast<LPCWSTR>(&run);
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          address, &self))
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "GetModuleHandleExW");
  if (self == GetModuleHandleW(nullptr)) return nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, address, &self))
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "GetModuleHandleExW");
  return self;
}

}  // namespace

struct WorkerThread::State {
  HANDLE handle = nullptr;
};

WorkerThread::WorkerThread() noexcept = default;

WorkerThread::WorkerThread(std::function<void()> body) {
  auto state = std::make_unique<State>();
  auto start = std::make_unique<Start>(Start{std::move(body), nullptr});
  start->module = referenceThisModule();
  // CreateThread, not std::thread: the thread must end in
  // FreeLibraryAndExitThread, never by returning into this module.
  state->handle = CreateThread(nullptr, 0, run, start.get(), 0, nullptr);
  if (state->handle == nullptr) {
    const DWORD error = GetLastError();
    if (start->module != nullptr) FreeLibrary(start->module);
    throw std::system_error(static_cast<int>(error), std::system_category(), "CreateThread");
  }
  start.release();
  state_ = std::move(state);
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
  WaitForSingleObject(state_->handle, INFINITE);
  CloseHandle(state_->handle);
  state_.reset();
}

void WorkerThread::detach() {
  if (!state_) return;
  CloseHandle(state_->handle);
  state_.reset();
}

}  // namespace korvo
