#pragma once

// Runs kerfwell-cut as scripts do: arguments in, status, standard output and
// standard error out, with a deadline so that a blocked run fails its test
// instead of hanging it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace clitest {

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string Data(const std::string& name) { return std::string(KERFWELL_TEST_DATA) + "/" + name; }

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

inline std::string CutBinary() {
  const char* cut = std::getenv("KERFWELL_CUT");
  return cut ? cut : std::string(KERFWELL_BINARY_DIR) + "/cli/kerfwell-cut";
}

// A shell command's standard output; its status in `status`.
inline std::string Shell(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  const int s = ::pclose(p);
  if (status) *status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  return out;
}

struct Outcome {
  int Status = -1;  // exit status; -1 when killed by a signal or timed out
  bool TimedOut = false;
  std::string Out;
  std::string Err;
};

struct ExecSettings {
  std::string Cwd;
  double TimeoutSeconds = 60;
  std::function<void()> InChild;  // runs in the child just before exec
};

class CliRun : public testing::Test {
 protected:
  void SetUp() override {
    binary_ = CutBinary();
    std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-cli-XXXXXX").string();
    dir_ = ::mkdtemp(tmpl.data());
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  // Starts kerfwell-cut with standard output and error going to files.
  pid_t Start(const std::vector<std::string>& args, const ExecSettings& settings = {}) const {
    const std::string out = Path(".stdout"), err = Path(".stderr");
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(o, 1);
      ::dup2(e, 2);
      if (!settings.Cwd.empty() && ::chdir(settings.Cwd.c_str()) != 0) ::_exit(126);
      if (settings.InChild) settings.InChild();
      std::vector<char*> argv{const_cast<char*>(binary_.c_str())};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(binary_.c_str(), argv.data());
      ::_exit(127);
    }
    return pid;
  }

  // Waits for a started run; kills it at the deadline.
  Outcome Finish(pid_t pid, double timeoutSeconds = 60) const {
    Outcome r;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (::waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        r.TimedOut = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    r.Status = !r.TimedOut && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.Out = Slurp(Path(".stdout"));
    r.Err = Slurp(Path(".stderr"));
    return r;
  }

  Outcome Exec(const std::vector<std::string>& args, const ExecSettings& settings = {}) const {
    return Finish(Start(args, settings), settings.TimeoutSeconds);
  }

  std::string binary_;
  std::string dir_;
};

}  // namespace clitest
