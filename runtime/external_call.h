#pragma once
// Late-bound system functions: each entry names a library file and an export
// (or "#ordinal"); it is bound at its first call, never at start-up, and the
// address is cached in the entry until the process ends.
// Calls go through a stack check: a declaration whose argument size differs
// from the real function's is fatal runtime error 6.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

namespace snipora {

struct ExternalEntry {
  const char* library;  // as the declaration writes it; "" searches the standard system libraries
  const char* name;     // exported name, or "#" and a decimal ordinal
  void* address = nullptr;
  HMODULE module = nullptr;
};

// The loader's operations, replaceable so that tests can watch them.
struct ModuleLoader {
  HMODULE (*load)(const char* file);
  FARPROC (*find)(HMODULE module, const char* nameOrOrdinal);
  BOOL (*release)(HMODULE module);
};
const ModuleLoader& SystemModuleLoader();

// Resolves the entry (fatal when the library or export cannot be found).
// When the environment variable SNIPORA_BIND_LOG names a file, each binding
// is appended to it as a line "library export", the library being the one
// the export was found in: a record of what a session needs from the system,
// for checking against what each Windows version exports.
void* BindExternal(ExternalEntry& entry, const ModuleLoader& loader = SystemModuleLoader());

// At the end of the process: hands the library of every bound entry over to
// the process's own end. Each is pinned, never unloaded while the process
// runs, since a thread of its own may still be running its code; the loader
// releases it when the process ends. Bound entries keep their addresses.
void ReleaseExternalLibraries(std::span<ExternalEntry> entries);

[[noreturn]] void ExternalStackError();

namespace detail {

#if defined(__i386__)
// Pushes `count` 32-bit words (words[0] last, so it lands on top), calls, and
// reports how far the stack moved across the call: 0 when balanced.
extern "C" uint64_t snipora_call_checked(void* function, const uint32_t* words, uint32_t count,
                                         int32_t* stackMoved);

template <class T>
constexpr uint32_t WordsOf() {
  return (sizeof(T) + 3) / 4;
}
#endif

template <class R>
constexpr bool ReturnsInRegisters() {
  if constexpr (std::is_void_v<R>)
    return true;
  else
    return std::is_trivially_copyable_v<R> && !std::is_floating_point_v<R> && sizeof(R) <= 8;
}

template <class R>
R ResultFrom([[maybe_unused]] uint64_t raw) {
  if constexpr (std::is_void_v<R>) {
    return;
  } else {
    R value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
  }
}

}  // namespace detail

template <class Signature>
class ExternalFunction;

// Called like the function it stands for: ExternalFunction<BOOL(HWND)> f{entry}; f(hwnd).
template <class R, class... A>
class ExternalFunction<R(A...)> {
  static_assert(detail::ReturnsInRegisters<R>(), "results come back in EDX:EAX");
  static_assert((std::is_trivially_copyable_v<A> && ...), "arguments are copied onto the stack");

 public:
  // `loader` null: the system's loader
  constexpr explicit ExternalFunction(ExternalEntry& entry, const ModuleLoader* loader = nullptr)
      : entry_(&entry), loader_(loader) {}

  R operator()(A... args) const {
    void* function = entry_->address ? entry_->address
                                     : BindExternal(*entry_, loader_ ? *loader_ : SystemModuleLoader());
#if defined(__i386__)
    constexpr uint32_t count = (0 + ... + detail::WordsOf<A>());
    uint32_t words[count > 0 ? count : 1] = {};
    [[maybe_unused]] uint32_t* at = words;
    ((std::memcpy(at, &args, sizeof(A)), at += detail::WordsOf<A>()), ...);
    int32_t moved = 0;
    const uint64_t raw = detail::snipora_call_checked(function, words, count, &moved);
    if (moved != 0) ExternalStackError();
    return detail::ResultFrom<R>(raw);
#else
    // one calling convention, and the caller owns the argument area: a
    // mismatched declaration cannot unbalance the stack here
    return reinterpret_cast<R (*)(A...)>(function)(args...);
#endif
  }

  ExternalEntry& entry() const { return *entry_; }

 private:
  ExternalEntry* entry_;
  const ModuleLoader* loader_;
};

}  // namespace snipora
