// The Windows side of run_program.h: CreateProcessA with both outputs on
// pipes. The interrupt is a console Ctrl-Break sent to the child's own
// process group. A Windows program writes its lines with CR LF; they are
// handed over with LF, as the tests compare them.
#include <windows.h>

#include <chrono>
#include <cstring>
#include <map>

#include "support/run_program.h"

namespace korvo::test {
namespace {

// One argument quoted so the child's C library splits it back exactly.
std::string quote(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// This process's environment with the additions; a block of zero-ended
// "NAME=value" texts ended by one more zero byte.
std::string environmentBlock(const std::vector<std::string>& additions) {
  std::map<std::string, std::string> vars;  // by upper-case name
  if (char* block = GetEnvironmentStringsA()) {
    for (const char* p = block; *p != '\0'; p += std::strlen(p) + 1) {
      std::string entry = p;
      std::size_t eq = entry.find('=', 1);
      if (eq != std::string::npos) vars[upper(entry.substr(0, eq))] = entry;
    }
    FreeEnvironmentStringsA(block);
  }
  for (const std::string& entry : additions) {
    std::size_t eq = entry.find('=', 1);
    if (eq != std::string::npos) vars[upper(entry.substr(0, eq))] = entry;
  }
  std::string out;
  for (const auto& [name, entry] : vars) out += entry + '\0';
  return out + '\0';
}

// Reads what is waiting on a pipe without blocking; false once it is closed.
bool drain(HANDLE pipe, std::string& sink) {
  DWORD waiting = 0;
  if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr)) return false;
  while (waiting > 0) {
    char buf[4096];
    DWORD got = 0;
    if (!ReadFile(pipe, buf, waiting < sizeof buf ? waiting : sizeof buf, &got, nullptr) || got == 0)
      return false;
    sink.append(buf, got);
    waiting -= got;
  }
  return true;
}

void toLineFeeds(std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out.push_back(text[i]);
  text.swap(out);
}

}  // namespace

ProgramResult runProgram(const ProgramRun& run) {
  ProgramResult result;
  if (run.args.empty()) return result;
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
  if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) return result;
  if (!CreatePipe(&errRead, &errWrite, &inherit, 0)) {
    CloseHandle(outRead);
    CloseHandle(outWrite);
    return result;
  }
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
  HANDLE nul = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr);

  std::string commandLine;
  for (const std::string& a : run.args) commandLine += (commandLine.empty() ? "" : " ") + quote(a);
  std::string environment = environmentBlock(run.env);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul;
  startup.hStdOutput = outWrite;
  startup.hStdError = errWrite;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessA(
      run.args[0].c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
      environment.data(), run.workDir.empty() ? nullptr : run.workDir.c_str(), &startup, &process);
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  if (!started) {
    CloseHandle(outRead);
    CloseHandle(errRead);
    return result;
  }
  CloseHandle(process.hThread);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(run.timeoutSeconds);
  bool outOpen = true, errOpen = true, interruptSent = false;
  while (outOpen || errOpen) {
    if (std::chrono::steady_clock::now() >= deadline) {
      result.timedOut = true;
      TerminateProcess(process.hProcess, 1);
      break;
    }
    const std::size_t before = result.out.size() + result.err.size();
    if (outOpen) outOpen = drain(outRead, result.out);
    if (errOpen) errOpen = drain(errRead, result.err);
    if (!interruptSent && !run.interruptWhen.empty() &&
        result.out.find(run.interruptWhen) != std::string::npos) {
      GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, process.dwProcessId);
      interruptSent = true;
    }
    // A process the child started (Wine's desktop, say) may hold the
    // pipes open after the child has gone: its end is the end.
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
      if (outOpen) drain(outRead, result.out);
      if (errOpen) drain(errRead, result.err);
      break;
    }
    if (result.out.size() + result.err.size() == before) Sleep(5);
  }
  CloseHandle(outRead);
  CloseHandle(errRead);
  WaitForSingleObject(process.hProcess, result.timedOut ? 5000 : INFINITE);
  DWORD code = 0;
  if (!result.timedOut && GetExitCodeProcess(process.hProcess, &code)) result.exitCode = static_cast<int>(code);
  CloseHandle(process.hProcess);
  toLineFeeds(result.out);
  toLineFeeds(result.err);
  return result;
}

}  // namespace korvo::test
