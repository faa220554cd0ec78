// Windows: CreateProcessW with a command line quoted as the C runtime splits
// it, the program's own path named (no search of the working folder; never
// a batch file), and a pipe for its standard input; it inherits only that
// pipe's end and the monitor's standard output and error. It runs in a job
// that ends whatever is left of it, what it started included, when the
// monitor lets go of it.
#include <windows.h>

#include <io.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <string>

#include "input/process.h"

namespace {

// The monitor's own strings (its arguments, the paths it opens) are in the
// ANSI code page; the system's are UTF-16.
std::wstring Wide(const std::string& text) {
  const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string Narrow(const std::wstring& text) {
  const int size =
      WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr, nullptr);
  return narrow;
}

// Whether `name` ends with `end`, in any case.
bool EndsWith(const std::wstring& name, const std::wstring& end) {
  return name.size() >= end.size() && _wcsicmp(name.c_str() + name.size() - end.size(), end.c_str()) == 0;
}

// The file `name` in the first folder on the path that holds it, or "".
std::wstring Search(const std::wstring& name) {
  const wchar_t* path = _wgetenv(L"PATH");
  const std::wstring list = path != nullptr ? path : L"";
  for (size_t at = 0; at <= list.size();) {
    const size_t end = std::min(list.find(L';', at), list.size());
    std::error_code error;
    const std::filesystem::path file = std::filesystem::path(list.substr(at, end - at)) / name;
    if (end > at && std::filesystem::is_regular_file(file, error)) return file.wstring();
    at = end + 1;
  }
  return L"";
}

}  // namespace

std::string FindProgram(const std::string& name) { return Narrow(Search(Wide(name) + L".exe")); }

std::wstring CommandLine(const std::vector<std::wstring>& arguments) {
  std::wstring line;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    if (i == 0) {
      line += L'"' + argument + L'"';  // read up to the next quote, backslashes and all
      continue;
    }
    line += L' ';
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
      line += argument;
      continue;
    }
    line += L'"';
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
      if (c == L'\\') {
        ++backslashes;
        continue;
      }
      // Backslashes before a quote are doubled, and the quote escaped; others stay as they are.
      line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
      line += c;
      backslashes = 0;
    }
    line.append(2 * backslashes, L'\\');  // before the closing quote
    line += L'"';
  }
  return line;
}

namespace {

// An inheritable copy of one of the monitor's standard handles, or nullptr.
HANDLE Inheritable(DWORD which) {
  HANDLE copy = nullptr;
  const HANDLE own = GetStdHandle(which);
  if (own == nullptr || own == INVALID_HANDLE_VALUE ||
      !DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

// The system's words for an error code, on one line.
std::string Reason(DWORD code) {
  char text[512] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof(text),
                 nullptr);
  std::string reason = text;
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) reason.pop_back();
  return reason.empty() ? "error " + std::to_string(code) : reason;
}

// A program named without a folder is looked for on the path, as a shell
// would; CreateProcessW itself would look in the working folder first.
std::wstring Path(const std::wstring& program) {
  if (program.find_first_of(L"\\/:") != std::wstring::npos) return program;
  const std::wstring found = Search(EndsWith(program, L".exe") ? program : program + L".exe");
  return found.empty() ? program : found;
}

// A batch file runs through cmd.exe, which reads & | < > ^ % in its
// arguments as its own, whatever the quotes. The system drops a file
// name's trailing dots and spaces, so "x.bat. " is x.bat too.
bool IsBatch(std::wstring program) {
  while (!program.empty() && (program.back() == L'.' || program.back() == L' ')) program.pop_back();
  return EndsWith(program, L".bat") || EndsWith(program, L".cmd");
}

// A job that ends all its processes once its last handle is closed, or nullptr.
HANDLE EndingJob() {
  const HANDLE job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job != nullptr && !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
    CloseHandle(job);
    return nullptr;
  }
  return job;
}

// CreateProcessW, suspended, the child inheriting only `inherited`.
bool Create(const std::wstring& program, std::wstring& line, STARTUPINFOW& startup, std::vector<HANDLE>& inherited,
            PROCESS_INFORMATION& started) {
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> list(size);
  STARTUPINFOEXW extended{startup, reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list.data())};
  extended.StartupInfo.cb = sizeof(extended);
  if (!InitializeProcThreadAttributeList(extended.lpAttributeList, 1, 0, &size)) return false;
  const bool ok = UpdateProcThreadAttribute(extended.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                            inherited.data(), inherited.size() * sizeof(HANDLE), nullptr, nullptr) &&
                  CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                                 EXTENDED_STARTUPINFO_PRESENT | CREATE_SUSPENDED, nullptr, nullptr,
                                 &extended.StartupInfo, &started);
  DeleteProcThreadAttributeList(extended.lpAttributeList);
  return ok;
}

}  // namespace

bool ChildProcess::Start(const std::vector<std::string>& arguments, bool input) {
  Kill();
  std::vector<std::wstring> wide;
  for (const std::string& argument : arguments) wide.push_back(Wide(argument));
  const std::wstring program = Path(wide[0]);
  if (IsBatch(program)) {
    why_ = "batch files run through cmd.exe, which would read the arguments as commands; run cmd /c yourself if "
           "you mean it";
    return false;
  }
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (input && !CreatePipe(&read_end, &write_end, &inherit, 0)) {
    why_ = Reason(GetLastError());
    return false;
  }
  if (input) SetHandleInformation(write_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input ? read_end : Inheritable(STD_INPUT_HANDLE);
  startup.hStdOutput = Inheritable(STD_OUTPUT_HANDLE);
  startup.hStdError = Inheritable(STD_ERROR_HANDLE);
  std::vector<HANDLE> inherited;
  for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
    if (handle != nullptr) inherited.push_back(handle);
  }
  std::wstring line = CommandLine(wide);
  PROCESS_INFORMATION started{};
  const bool ok = Create(program, line, startup, inherited, started);
  if (!ok) why_ = Reason(GetLastError());
  for (HANDLE handle : inherited) CloseHandle(handle);
  if (!ok) {
    if (input) CloseHandle(write_end);
    return false;
  }
  // In the job before it runs, so that all it starts is in it too; where the
  // monitor's own job allows none, it runs alone, as it would anyway.
  HANDLE job = EndingJob();
  if (job != nullptr && !AssignProcessToJobObject(job, started.hProcess)) {
    CloseHandle(job);
    job = nullptr;
  }
  ResumeThread(started.hThread);
  CloseHandle(started.hThread);
  input_ = input ? reinterpret_cast<intptr_t>(write_end) : -1;
  process_ = reinterpret_cast<intptr_t>(started.hProcess);
  group_ = reinterpret_cast<intptr_t>(job);
  return true;
}

bool ChildProcess::Write(const void* bytes, size_t size) {
  const auto* at = static_cast<const char*>(bytes);
  while (size > 0) {
    DWORD wrote = 0;
    const DWORD part = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    if (!WriteFile(reinterpret_cast<HANDLE>(input_), at, part, &wrote, nullptr) || wrote == 0) return false;
    at += wrote;
    size -= wrote;
  }
  return true;
}

bool ChildProcess::Finish() {
  if (process_ == -1) return false;
  const auto process = reinterpret_cast<HANDLE>(process_);
  if (input_ != -1) CloseHandle(reinterpret_cast<HANDLE>(input_));
  DWORD status = 1;
  const bool ok = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &status);
  CloseHandle(process);
  input_ = process_ = -1;
  return ok && status == 0;
}

void ChildProcess::Kill() {
  const auto job = reinterpret_cast<HANDLE>(group_);
  if (process_ != -1) {
    const auto process = reinterpret_cast<HANDLE>(process_);
    if (job != nullptr) {
      TerminateJobObject(job, 1);
    } else {
      TerminateProcess(process, 1);
    }
    if (input_ != -1) CloseHandle(reinterpret_cast<HANDLE>(input_));
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
    input_ = process_ = -1;
  }
  // Ends what the program left running, once it has ended by itself too.
  if (job != nullptr) CloseHandle(job);
  group_ = 0;
}

bool ChildProcess::Ended(int& status) {
  if (process_ == -1) return false;
  const auto process = reinterpret_cast<HANDLE>(process_);
  DWORD code = 0;
  if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &code)) return false;
  status = static_cast<int>(code);
  if (input_ != -1) CloseHandle(reinterpret_cast<HANDLE>(input_));
  CloseHandle(process);
  input_ = process_ = -1;
  return true;
}

bool ErrorsToTerminal() { return _isatty(2) != 0; }
