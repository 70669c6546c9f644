#include "platform/process.h"

#include "platform/handle.h"
#include "platform/utf8.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <cwchar>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

struct process_object : qm_handle {
  pid_t pid = 0;
  std::mutex lock;
  bool reaped = false;
  int status = 0;

  // True once the child has ended (and is reaped).
  bool poll(bool block) {
    std::lock_guard<std::mutex> guard(lock);
    if (reaped) return true;
    for (;;) {
      pid_t r = waitpid(pid, &status, block ? 0 : WNOHANG);
      if (r == pid) {
        reaped = true;
        return true;
      }
      if (r == 0) return false;
      if (errno == EINTR) continue;
      // Someone else reaped it (ECHILD): it has ended all the same.
      reaped = true;
      status = 0;
      return true;
    }
  }

  DWORD wait(DWORD milliseconds) override {
    if (milliseconds == INFINITE) {
      // Waits without the lock, so that TerminateProcess reaches the child
      // meanwhile; the child is reaped under the lock.
      siginfo_t info;
      while (!poll(false) && waitid(P_PID, pid, &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
      }
      poll(true);
      return WAIT_OBJECT_0;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
      if (poll(false)) return WAIT_OBJECT_0;
      if (std::chrono::steady_clock::now() >= deadline) return WAIT_TIMEOUT;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  ~process_object() override {
    // A child that still runs is reaped when it ends, so it leaves no zombie.
    if (!poll(false)) {
      pid_t child = pid;
      std::thread([child] {
        int ignored;
        while (waitpid(child, &ignored, 0) < 0 && errno == EINTR) {
        }
      }).detach();
    }
  }
};

struct spawn_actions {
  posix_spawn_file_actions_t actions;
  spawn_actions() { posix_spawn_file_actions_init(&actions); }
  ~spawn_actions() { posix_spawn_file_actions_destroy(&actions); }
};

}  // namespace

std::vector<std::wstring> qm_split_arguments(const wchar_t* line) {
  std::vector<std::wstring> out;
  if (!line) return out;
  const wchar_t* p = line;
  for (;;) {
    while (*p == L' ' || *p == L'\t') ++p;
    if (!*p) break;
    std::wstring arg;
    bool quoted = false;
    while (*p && (quoted || (*p != L' ' && *p != L'\t'))) {
      if (*p == L'\\') {
        std::size_t n = 0;
        while (*p == L'\\') {
          ++n;
          ++p;
        }
        if (*p == L'"') {
          arg.append(n / 2, L'\\');
          if (n % 2) {
            arg.push_back(L'"');
            ++p;
          }
        } else {
          arg.append(n, L'\\');
        }
      } else if (*p == L'"') {
        quoted = !quoted;
        ++p;
      } else {
        arg.push_back(*p++);
      }
    }
    out.push_back(arg);
  }
  return out;
}

std::wstring qm_quote_argument(const std::wstring& argument) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      out.append(backslashes * 2 + 1, L'\\');
    } else {
      out.append(backslashes, L'\\');
    }
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info) {
  if (!info || !info->lpFile || !*info->lpFile ||
      (info->lpVerb && std::wcscmp(info->lpVerb, L"open") != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string file = qm_platform::path_to_utf8(info->lpFile);
  std::vector<std::string> args{file};
  for (const std::wstring& a : qm_split_arguments(info->lpParameters))
    args.push_back(qm_platform::path_to_utf8(a.c_str()));
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  spawn_actions sa;
  std::string folder;
  if (info->lpDirectory && *info->lpDirectory) {
    folder = qm_platform::path_to_utf8(info->lpDirectory);
    posix_spawn_file_actions_addchdir_np(&sa.actions, folder.c_str());
  }
  if (info->nShow == SW_HIDE) {
    posix_spawn_file_actions_addopen(&sa.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&sa.actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&sa.actions, 2, "/dev/null", O_WRONLY, 0);
  }
  pid_t pid = 0;
  int rc = file.find('/') == std::string::npos
               ? posix_spawnp(&pid, file.c_str(), &sa.actions, nullptr, argv.data(), environ)
               : posix_spawn(&pid, file.c_str(), &sa.actions, nullptr, argv.data(), environ);
  if (rc != 0) {
    SetLastError(static_cast<DWORD>(rc));
    return FALSE;
  }
  auto* process = new process_object;
  process->pid = pid;
  if (info->fMask & SEE_MASK_NOCLOSEPROCESS) {
    info->hProcess = process;
  } else {
    info->hProcess = nullptr;
    delete process;
  }
  info->hInstApp = reinterpret_cast<HINSTANCE>(33);  // above 32: success
  return TRUE;
}

BOOL GetExitCodeProcess(HANDLE handle, LPDWORD exit_code) {
  auto* process = dynamic_cast<process_object*>(handle);
  if (!process || !exit_code) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!process->poll(false)) {
    *exit_code = STILL_ACTIVE;
    return TRUE;
  }
  int s = process->status;
  if (WIFEXITED(s))
    *exit_code = static_cast<DWORD>(WEXITSTATUS(s));
  else if (WIFSIGNALED(s))
    *exit_code = 128u + static_cast<DWORD>(WTERMSIG(s));
  else
    *exit_code = 0;
  return TRUE;
}

BOOL TerminateProcess(HANDLE handle, UINT) {
  auto* process = dynamic_cast<process_object*>(handle);
  if (!process) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // A reaped id may belong to another process by now.
  std::lock_guard<std::mutex> guard(process->lock);
  if (process->reaped) return TRUE;
  if (::kill(process->pid, SIGKILL) != 0 && errno != ESRCH) {
    SetLastError(static_cast<DWORD>(errno));
    return FALSE;
  }
  return TRUE;
}

bool qm_desktop_opener_exists() {
  const char* p = std::getenv("PATH");
  if (!p) return false;
  for (;;) {
    const char* end = std::strchr(p, ':');
    std::size_t n = end ? static_cast<std::size_t>(end - p) : std::strlen(p);
    // An empty entry of the PATH is the current folder.
    std::string candidate = n ? std::string(p, n) : std::string(1, '.');
    candidate += "/xdg-open";
    if (access(candidate.c_str(), X_OK) == 0) return true;
    if (!end) return false;
    p = end + 1;
  }
}

HINSTANCE ShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory, int) {
  if (!file || !*file || (verb && std::wcscmp(verb, L"open") != 0) || (parameters && *parameters))
    return reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(ERROR_INVALID_PARAMETER));
  if (access(qm_platform::path_to_utf8(file).c_str(), F_OK) != 0 || !qm_desktop_opener_exists())
    return reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(ERROR_FILE_NOT_FOUND));
  std::wstring argument = qm_quote_argument(file);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.hwnd = owner;
  info.lpVerb = L"open";
  info.lpFile = L"xdg-open";
  info.lpParameters = argument.c_str();
  info.lpDirectory = directory;
  info.nShow = SW_HIDE;
  if (!ShellExecuteExW(&info)) return reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(GetLastError()));
  return info.hInstApp;
}
