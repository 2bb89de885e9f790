#include <windows.h>

#include <vector>

#include "host_system.h"

namespace korvo::host {
namespace {

// Set from the console control handler, which runs on a thread of its own.
volatile LONG gInterrupted = 0;

// The event the wait sleeps on, so an interrupt ends it at once.
HANDLE wakeEvent() {
  static const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  return event;
}

BOOL WINAPI onControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
    return FALSE;
  // A second interrupt ends the program as usual.
  if (InterlockedExchange(&gInterrupted, 1) != 0) return FALSE;
  if (wakeEvent() != nullptr) SetEvent(wakeEvent());
  return TRUE;
}

}  // namespace

// The system's code page is GetACP, which no locale call changes; the
// console shows the UTF-8 we print only when told.
void setUpCharacterSets() { SetConsoleOutputCP(CP_UTF8); }

const char* const kDefaultLibraryName = "korvo.dll";

std::string executableDirectory() {
  std::vector<char> buf(32768);
  const DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
  if (n == 0 || n >= buf.size()) return {};
  std::string path(buf.data(), n);
  std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

DynamicLibrary::DynamicLibrary(const std::string& path) {
  // A bare name is the file in the current directory, never one found on
  // the search path.
  std::string file = path.find_first_of("\\/:") == std::string::npos ? ".\\" + path : path;
  // No "cannot find the DLL" message box in the user's face.
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  handle_ = LoadLibraryA(file.c_str());
  const DWORD error = GetLastError();
  SetErrorMode(oldMode);
  if (handle_ == nullptr) {
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    error_ = text ? text : "cannot load " + file + " (error " + std::to_string(error) + ")";
    if (text) LocalFree(text);
    while (!error_.empty() && (error_.back() == '\n' || error_.back() == '\r' || error_.back() == ' '))
      error_.pop_back();
  }
}

DynamicLibrary::~DynamicLibrary() { close(); }

void* DynamicLibrary::symbol(const char* name) const {
  return handle_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name))
                 : nullptr;
}

void DynamicLibrary::close() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

void catchInterrupts() {
  wakeEvent();
  SetConsoleCtrlHandler(onControl, TRUE);
}

bool interrupted() { return gInterrupted != 0; }

bool waitSeconds(unsigned seconds) {
  if (interrupted()) return false;
  const HANDLE event = wakeEvent();
  const DWORD ms = seconds > 4000000u ? 4000000000u : seconds * 1000u;
  if (event != nullptr) WaitForSingleObject(event, ms);
  else Sleep(ms);
  return !interrupted();
}

std::string displayProblem() { return {}; }

}  // namespace korvo::host
