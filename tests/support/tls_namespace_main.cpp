// The main() of a secure-path test program: outside its namespace it makes
// one and runs itself there; inside (or when only listing tests) it runs
// the tests.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "support/tls_namespace.h"

namespace korvo::test {

std::string tlsDir() {
  const char* dir = std::getenv("KORVO_TLS_DIR");
  return dir ? dir : "";
}

std::string tlsProblem() {
  const char* why = std::getenv("KORVO_TLS_PROBLEM");
  return why ? why : "not started through tests/support/tls-namespace";
}

}  // namespace korvo::test

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing |= std::strncmp(argv[i], "--gtest_list_tests", 18) == 0;
  if (!listing && korvo::test::tlsDir().empty() && !std::getenv("KORVO_TLS_PROBLEM")) {
    korvo::test::TempDir dir;
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;
    const pid_t child = fork();
    if (child == 0) {
      std::vector<char*> args{const_cast<char*>(KORVO_TLS_NAMESPACE_SCRIPT),
                              const_cast<char*>(dir.path().c_str()), self};
      for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(126);
    }
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
        WEXITSTATUS(status) != 77 && WEXITSTATUS(status) != 126)
      return WEXITSTATUS(status);
    if (child > 0 && WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    // No namespace here: run in this process, where every case skips.
    setenv("KORVO_TLS_PROBLEM", "tests/support/tls-namespace could not make its namespace", 1);
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
