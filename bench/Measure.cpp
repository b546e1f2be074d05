// Measure: runs one command and reports its wall time and peak resident memory.
//
//   Measure [--timeout SECONDS] [--stderr FILE] -- COMMAND [ARG...]
//
// The command's standard output goes to /dev/null and its standard error to FILE (default
// /dev/null). On success Measure prints one line to its own standard output:
//
//   <wall seconds> <peak RSS KiB> <user seconds> <system seconds> <status>
//
// status is the command's exit status, "signal-N" when a signal ended it, or "timeout" when it
// ran longer than the timeout (it is then killed). Wall time is the steady clock from just before
// fork to the return of wait4; peak RSS is wait4's ru_maxrss of that child alone.
// Measure itself exits 0 when it could run the command, 2 on a usage error, 1 otherwise.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

volatile std::sig_atomic_t timedOut = 0;

void OnAlarm(int /*signal*/) {
  timedOut = 1;
}

double Seconds(const timeval& tv) {
  return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 1e-6;
}

int Usage() {
  std::fputs("Usage: Measure [--timeout SECONDS] [--stderr FILE] -- COMMAND [ARG...]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned timeout = 0;
  std::string errPath = "/dev/null";
  int i = 1;
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg == "--timeout" && i + 1 < argc) {
      timeout = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "--stderr" && i + 1 < argc) {
      errPath = argv[++i];
    } else {
      return Usage();
    }
  }
  if (i >= argc) {
    return Usage();
  }
  std::vector<char*> command(argv + i, argv + argc);
  command.push_back(nullptr);

  const int outFd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (outFd < 0 || errFd < 0) {
    std::fprintf(stderr, "Measure: cannot open /dev/null or %s\n", errPath.c_str());
    return 1;
  }

  struct sigaction action = {};
  action.sa_handler = OnAlarm;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: the alarm interrupts wait4
  sigaction(SIGALRM, &action, nullptr);

  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) {
    std::perror("Measure: fork");
    return 1;
  }
  if (child == 0) {
    dup2(outFd, STDOUT_FILENO);
    dup2(errFd, STDERR_FILENO);
    execvp(command[0], command.data());
    std::fprintf(stderr, "Measure: cannot run %s: %s\n", command[0], std::strerror(errno));
    _exit(127);
  }
  close(outFd);
  close(errFd);
  if (timeout > 0) {
    alarm(timeout);
  }

  int status = 0;
  rusage usage = {};
  for (;;) {
    const pid_t done = wait4(child, &status, 0, &usage);
    if (done == child) {
      break;
    }
    if (done < 0 && errno == EINTR) {
      if (timedOut != 0) {
        kill(child, SIGKILL);
      }
      continue;
    }
    std::perror("Measure: wait4");
    return 1;
  }
  const auto stop = std::chrono::steady_clock::now();
  alarm(0);

  std::string outcome;
  if (timedOut != 0) {
    outcome = "timeout";
  } else if (WIFEXITED(status)) {
    outcome = std::to_string(WEXITSTATUS(status));
  } else {
    outcome = "signal-" + std::to_string(WTERMSIG(status));
  }
  const double wall = std::chrono::duration<double>(stop - start).count();
  std::printf("%.6f %ld %.6f %.6f %s\n", wall, static_cast<long>(usage.ru_maxrss),
              Seconds(usage.ru_utime), Seconds(usage.ru_stime), outcome.c_str());
  return 0;
}
