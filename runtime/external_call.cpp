#include "runtime/external_call.h"

#include <string>

#include "runtime/fatal_error.h"
#include "runtime/win_handles.h"

namespace snipora {
namespace {

HMODULE SystemLoad(const char* file) { return LoadLibraryA(file); }
FARPROC SystemFind(HMODULE module, const char* name) { return GetProcAddress(module, name); }
BOOL SystemRelease(HMODULE module) { return FreeLibrary(module); }

std::string ProgramFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of("\\/"));
}

// "#123" names ordinal 123 (modulo 65536); anything else is a name.
FARPROC FindExport(const ModuleLoader& loader, HMODULE module, const char* name) {
  if (name[0] == '#') {
    const unsigned long ordinal = std::strtoul(name + 1, nullptr, 10) % 65536;
    return loader.find(module, reinterpret_cast<const char*>(static_cast<uintptr_t>(ordinal)));
  }
  return loader.find(module, name);
}

// Binding leaves the caller's last error as it was: the function being bound
// has not run yet, and a caller may read the error it sets (or, on success,
// leaves alone) right after the call; the program-folder attempt alone would
// otherwise leave "module not found" behind.
class LastErrorKept {
 public:
  LastErrorKept() : error_(GetLastError()) {}
  LastErrorKept(const LastErrorKept&) = delete;
  LastErrorKept& operator=(const LastErrorKept&) = delete;
  ~LastErrorKept() { SetLastError(error_); }

 private:
  DWORD error_;
};

// Looked up at every binding, so nothing is kept between them; a session
// binds a few hundred functions at most.
void RecordBinding(const char* library, const char* name) {
  char path[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("SNIPORA_BIND_LOG", path, sizeof path);
  if (n == 0 || n >= sizeof path) return;
  HANDLE opened = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  const UniqueKernelHandle file(opened == INVALID_HANDLE_VALUE ? nullptr : opened);
  if (!file) return;
  const std::string line = std::string(library) + " " + name + "\r\n";
  DWORD written = 0;
  WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

const ModuleLoader& SystemModuleLoader() {
  static const ModuleLoader loader{SystemLoad, SystemFind, SystemRelease};
  return loader;
}

void* BindExternal(ExternalEntry& entry, const ModuleLoader& loader) {
  if (entry.address) return entry.address;
  const LastErrorKept kept;
  HMODULE module = nullptr;
  FARPROC address = nullptr;
  const char* foundIn = entry.library;

  if (entry.library[0] == '\0') {
    static const char* const kStandard[] = {"Kernel32.dll", "Gdi32.dll", "User32.dll",
                                            "Advapi32.dll", "Mpr.dll",   "Shell32.dll"};
    for (const char* library : kStandard) {
      HMODULE candidate = loader.load(library);
      if (!candidate) continue;
      if ((address = FindExport(loader, candidate, entry.name))) {
        module = candidate;
        foundIn = library;
        break;
      }
      loader.release(candidate);
    }
    if (!address)
      FatalRuntimeError((std::string("无法找到指定DLL库文件中的输出命令“") + entry.name + "”").c_str());
  } else {
    if (!std::strchr(entry.library, ':')) {
      // the program's own folder first, so a library shipped beside it wins
      const std::string beside = ProgramFolder() + "\\" + entry.library;
      module = loader.load(beside.c_str());
    }
    if (!module) module = loader.load(entry.library);
    if (module) address = FindExport(loader, module, entry.name);
    if (!address) {
      if (module) loader.release(module);
      FatalRuntimeError((std::string("无法找到指定DLL库文件“") + entry.library + "”中的输出命令“" +
                         entry.name + "”")
                            .c_str());
    }
  }
  entry.module = module;
  entry.address = reinterpret_cast<void*>(address);
  RecordBinding(foundIn, entry.name);
  return entry.address;
}

void ReleaseExternalLibraries(std::span<ExternalEntry> entries) {
  for (ExternalEntry& entry : entries) {
    if (!entry.module) continue;
    // A library may still run code of its own on a thread it started (GDI+'s
    // background thread, a network library's workers): unloading it here
    // would pull that code away under the thread. Pinned, it stays mapped
    // until the process has ended, when the loader releases it after every
    // other thread has stopped; the cached address stays good till then.
    HMODULE pinned = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(entry.module), &pinned);
    // pinned or not, the reference is left to the end of the process
    entry.module = nullptr;
  }
}

void ExternalStackError() { FatalRuntimeError(6, "调用DLL命令后发现堆栈错误"); }

}  // namespace snipora
