#pragma once
// A virtual X server (Xvfb) of the test's own, on the first free display
// number, stopped when the object goes; and the programs a test drives a
// window with, found on PATH.
#include <string>
#include <sys/types.h>

namespace korvo::test {

class XvfbServer {
 public:
  // Starts Xvfb with one 24-bit screen of width x height pixels and waits
  // until it accepts clients. Check running() and error().
  XvfbServer(int width, int height);
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  bool running() const { return !display_.empty(); }
  // The display name, ":N".
  const std::string& display() const { return display_; }
  const std::string& error() const { return error_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
  std::string error_;
};

// Sends a window the close request a window manager sends for its close
// box (WM_DELETE_WINDOW). False when the display cannot be opened.
bool sendCloseRequest(const std::string& display, unsigned long window);

// The full path of an executable program on PATH; empty when there is none.
std::string findProgram(const std::string& name);

}  // namespace korvo::test
