// The links to the author: the microblog page, mail and the chat page, each
// opened with the system's handler for it.
#include "app/links.h"

#include "app/handlers.h"
#include "app/service_config.h"
#include "runtime/shell_open.h"

namespace snipora::app {

Text MicroblogPage() { return JoinText("http://", kMicroblogHost, "/Morvik"); }

Text MailLink() { return JoinText("mailto:", kAuthorMail); }

Text ChatLink() { return JoinText("http://", kImGatewayHost, "/msgrd?v=3&uin=", kImNumber, "&site=qq&menu=yes"); }

Text StatusImageAddress() {
  return JoinText("http://", kImGatewayHost, "/pa?p=2:", kImNumber, ":44 &r=0.46193257080439387");
}

void OpenMicroblog() { OpenDocument(MicroblogPage()); }

void OpenMail() { OpenDocument(MailLink()); }

void OpenChat() { OpenDocument(ChatLink()); }

}  // namespace snipora::app
