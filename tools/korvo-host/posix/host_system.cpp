#include "host_system.h"

#include <dlfcn.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <vector>

namespace korvo::host {
namespace {

// Set from the signal handler; the only state a handler may touch.
volatile sig_atomic_t gInterrupted = 0;

void onInterrupt(int) { gInterrupted = 1; }

}  // namespace

void setUpCharacterSets() { std::setlocale(LC_CTYPE, ""); }

const char* const kDefaultLibraryName = "libkorvo.so";

std::string executableDirectory() {
  std::vector<char> buf(4096);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) return {};
  std::string path(buf.data(), static_cast<std::size_t>(n));
  std::size_t cut = path.rfind('/');
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

DynamicLibrary::DynamicLibrary(const std::string& path) {
  std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    error_ = why ? why : "cannot load " + file;
  }
}

DynamicLibrary::~DynamicLibrary() { close(); }

void* DynamicLibrary::symbol(const char* name) const {
  return handle_ ? dlsym(handle_, name) : nullptr;
}

void DynamicLibrary::close() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

void catchInterrupts() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  // Restart the plug-in's own system calls; only our wait sees the signal.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() { return gInterrupted != 0; }

bool waitSeconds(unsigned seconds) {
  struct timespec left {};
  left.tv_sec = static_cast<time_t>(seconds);
  while (!interrupted() && nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
  return !interrupted();
}

std::string displayProblem() {
  const char* display = std::getenv("DISPLAY");
  return display == nullptr || *display == '\0' ? "DISPLAY is not set" : "";
}

}  // namespace korvo::host
