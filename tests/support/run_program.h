#pragma once
// Runs a program as a child process and collects its output, with a time
// limit, optionally interrupting it (SIGINT) once its output shows a text.
#include <string>
#include <vector>

namespace korvo::test {

struct ProgramRun {
  std::vector<std::string> args;     // args[0] is the program's path
  std::string workDir;               // empty: the current directory
  std::vector<std::string> env;      // "NAME=value" added to the environment
  std::string interruptWhen;         // SIGINT once stdout holds this text
  int timeoutSeconds = 60;
};

struct ProgramResult {
  int exitCode = -1;   // -1 when killed by a signal or not started
  int signal = 0;      // the signal that ended it, if any
  bool timedOut = false;
  std::string out;
  std::string err;
};

ProgramResult runProgram(const ProgramRun& run);

}  // namespace korvo::test
