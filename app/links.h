#pragma once
// The addresses behind the author links, as the program opens and fetches them.
#include "runtime/text.h"

namespace snipora::app {

Text MicroblogPage();
Text MailLink();
Text ChatLink();
// The online-status picture; its one space goes to the fetch as it is.
Text StatusImageAddress();

}  // namespace snipora::app
