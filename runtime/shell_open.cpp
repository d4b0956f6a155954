#include "runtime/shell_open.h"

#include <windows.h>

#include "runtime/system_functions.h"

namespace snipora {
namespace {

const char* VerbName(std::optional<int32_t> verb) {
  static const char* const kVerbs[] = {"edit", "explore", "find", "open", "print"};
  return (verb && *verb >= 1 && *verb <= 5) ? kVerbs[*verb - 1] : nullptr;
}

int ShowCommand(std::optional<int32_t> show) {
  static const int kShow[] = {SW_HIDE, SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED, SW_SHOWNA, SW_MINIMIZE};
  return (show && *show >= 1 && *show <= 6) ? kShow[*show - 1] : SW_SHOWNORMAL;
}

}  // namespace

// shell32 is bound here, at the first link opened: loaded with the program
// it would cost every start the time to load it and the libraries it needs.
void OpenDocument(TextView target, const OpenOptions& options) {
  sys::ShellExecuteA(nullptr, VerbName(options.verb), target.c_str(),
                options.parameters ? options.parameters->c_str() : nullptr,
                options.directory ? options.directory->c_str() : "", ShowCommand(options.show));
}

}  // namespace snipora
