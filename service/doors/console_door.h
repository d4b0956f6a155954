#pragma once
// The console: people sign in (with an API key here) and find, disable and
// enable their links; admins see everyone's links and the people, and change
// a person's role or lock them out. Pages made on the server
// (core/console_pages.h); every change is a form's POST from this origin
// carrying the session's CSRF token, else 403 and nothing changed.
#include <memory>
#include <optional>

#include "service/app/console_sessions.h"
#include "service/app/door.h"
#include "service/app/oidc.h"
#include "service/app/operations.h"

namespace snipora::service {

class ConsoleDoor final : public Door {
 public:
  explicit ConsoleDoor(Operations& operations);
  // The pages' headers, and no copy kept by a browser or proxy: each page is one person's.
  void Decorate(Reply& reply) const override;

  std::optional<Reply> Enter(Call& call);  // /console: to /console/
  std::optional<Reply> SignInPage(Call& call);
  std::optional<Reply> SignIn(Call& call);
  std::optional<Reply> SignOut(Call& call);
  std::optional<Reply> StartProvider(Call& call);  // to the provider, with the sign-in's cookie
  std::optional<Reply> Callback(Call& call);       // back from it: a session, or the refusal
  std::optional<Reply> MyLinks(Call& call);
  std::optional<Reply> EveryonesLinks(Call& call);
  std::optional<Reply> NewLinks(Call& call);   // the form
  std::optional<Reply> MakeLinks(Call& call);  // POST /console/new: one link, or many lines; format=csv for a file
  std::optional<Reply> LinkDetails(Call& call);
  std::optional<Reply> ChangeLink(Call& call);  // POST /console/links/CODE/disable|enable
  std::optional<Reply> People(Call& call);
  std::optional<Reply> ChangePerson(Call& call);  // POST /console/admin/people/ID

 private:
  // The handler's work with the request's session, or the answer to none:
  // a page's GET goes to the sign-in, a change is refused (403). A store
  // failure is a 503.
  template <class Work>
  std::optional<Reply> Signed(Call& call, bool changes, bool admin, Work&& work);
  std::optional<Reply> Links(Call& call, bool everyone);

  // The address the provider sends the browser back to.
  std::string RedirectUri(const Call& call) const;

  Operations& operations_;
  ConsoleSessions sessions_;
  std::unique_ptr<OidcClient> oidc_;  // null: no --oidc-issuer
};

}  // namespace snipora::service
