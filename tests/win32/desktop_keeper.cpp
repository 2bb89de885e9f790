// Holds Wine's desktop open for a whole test run (scripts/wine-server).
// The desktop's process (explorer.exe) starts with the first program that
// needs it, keeps that program's standard output, and ends a second after
// the last program on the desktop; a test that started it would seem to run
// until the desktop next fell idle. This program starts it with output
// nobody waits for, says "ready" once it is there, and stays on it until
// the server ends.
#include <windows.h>

#include <cstdio>

int main() {
  GetDesktopWindow();
  std::puts("ready");
  std::fflush(stdout);
  Sleep(INFINITE);
  return 0;
}
