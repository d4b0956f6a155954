#include "service/doors/route_table.h"

#include <utility>

#include "service/doors/api_door.h"
#include "service/doors/console_door.h"
#include "service/doors/kutt_door.h"
#include "service/doors/pages_door.h"
#include "service/doors/plain_door.h"
#include "service/doors/shlink_door.h"
#include "service/doors/status_door.h"
#include "service/doors/yourls_door.h"

namespace snipora::service {
namespace {

template <class D>
D& Open(OpenDoors& open, Operations& operations) {
  auto door = std::make_unique<D>(operations);
  D& opened = *door;
  open.doors.push_back(std::move(door));
  return opened;
}

}  // namespace

OpenDoors OpenEveryDoor(Operations& operations) {
  OpenDoors open;
  PagesDoor& pages = Open<PagesDoor>(open, operations);
  PlainDoor& plain = Open<PlainDoor>(open, operations);
  ApiDoor& api = Open<ApiDoor>(open, operations);
  StatusDoor& status = Open<StatusDoor>(open, operations);
  KuttDoor& kutt = Open<KuttDoor>(open, operations);
  YourlsDoor& yourls = Open<YourlsDoor>(open, operations);
  ShlinkDoor& shlink = Open<ShlinkDoor>(open, operations);
  ConsoleDoor& console = Open<ConsoleDoor>(open, operations);

  // The first row whose methods and pattern fit a request takes it. The
  // role is the dispatcher's to admit (Authorization: Bearer KEY); a door
  // whose clients bring their key elsewhere reads it itself (Role::kNone).
  open.routes = {
      RouteTo<&PagesDoor::FormCreate>(kRead | kPost, "/create.php", Role::kCreation, pages),
      RouteTo<&PlainDoor::Create>(kRead, "/api-create.php", Role::kCreation, plain),
      RouteTo<&ApiDoor::Create>(kPost, "/api/v1/links", Role::kCreation, api),
      RouteTo<&PagesDoor::Home>(kRead, "/", Role::kNone, pages),
      RouteTo<&PagesDoor::Download>(kRead, "/download/*", Role::kNone, pages),
      RouteTo<&PagesDoor::Static>(kRead, "/static/*", Role::kNone, pages),
      // the console: its session comes in a cookie, which the door reads
      RouteTo<&ConsoleDoor::Enter>(kRead, "/console", Role::kNone, console),
      RouteTo<&ConsoleDoor::MyLinks>(kRead, "/console/", Role::kNone, console),
      RouteTo<&ConsoleDoor::SignInPage>(kRead, "/console/sign-in", Role::kNone, console),
      RouteTo<&ConsoleDoor::SignIn>(kPost, "/console/sign-in", Role::kNone, console),
      RouteTo<&ConsoleDoor::SignOut>(kPost, "/console/sign-out", Role::kNone, console),
      RouteTo<&ConsoleDoor::StartProvider>(kRead, "/console/sign-in/provider", Role::kNone, console),
      RouteTo<&ConsoleDoor::Callback>(kRead, "/console/callback", Role::kNone, console),
      RouteTo<&ConsoleDoor::NewLinks>(kRead, "/console/new", Role::kNone, console),
      RouteTo<&ConsoleDoor::MakeLinks>(kPost, "/console/new", Role::kNone, console),
      RouteTo<&ConsoleDoor::LinkDetails>(kRead, "/console/links/+", Role::kNone, console),
      RouteTo<&ConsoleDoor::ChangeLink>(kPost, "/console/links/+", Role::kNone, console),
      RouteTo<&ConsoleDoor::EveryonesLinks>(kRead, "/console/admin/links", Role::kNone, console),
      RouteTo<&ConsoleDoor::People>(kRead, "/console/admin/people", Role::kNone, console),
      RouteTo<&ConsoleDoor::ChangePerson>(kPost, "/console/admin/people/+", Role::kNone, console),
      // probes ask by address, whatever the host names answered for
      RouteTo<&StatusDoor::Health>(kRead, "/healthz", Role::kNone, status, /*anyHost=*/true),
      RouteTo<&StatusDoor::MetricsText>(kRead, "/metrics", Role::kNone, status),
      RouteTo<&ApiDoor::List>(kRead, "/api/v1/links", Role::kCreator, api),
      RouteTo<&ApiDoor::Stats>(kRead, "/api/v1/links/+/stats", Role::kCreator, api),
      RouteTo<&ApiDoor::UnknownCodes>(kRead, "/api/v1/stats/unknown", Role::kAdmin, api),
      RouteTo<&ApiDoor::Release>(kPost, "/api/v1/links/+/release", Role::kAdmin, api),
      RouteTo<&ApiDoor::TakeDown>(kPost, "/api/v1/links/+/takedown", Role::kAdmin, api),
      RouteTo<&ApiDoor::Info>(kRead, "/api/v1/links/+", Role::kAnyone, api),
      RouteTo<&ApiDoor::Change>(kPatch, "/api/v1/links/+", Role::kCreator, api),
      RouteTo<&ApiDoor::Delete>(kDelete, "/api/v1/links/+", Role::kCreator, api),
      // Kutt v2: the key in X-API-KEY
      RouteTo<&KuttDoor::Create>(kPost, "/api/v2/links", Role::kNone, kutt),
      RouteTo<&KuttDoor::List>(kRead, "/api/v2/links", Role::kNone, kutt),
      RouteTo<&KuttDoor::Edit>(kPatch, "/api/v2/links/+", Role::kNone, kutt),
      RouteTo<&KuttDoor::Delete>(kDelete, "/api/v2/links/+", Role::kNone, kutt),
      RouteTo<&KuttDoor::Stats>(kRead, "/api/v2/links/+/stats", Role::kNone, kutt),
      RouteTo<&KuttDoor::Health>(kRead, "/api/v2/health", Role::kNone, kutt),
      RouteTo<&KuttDoor::User>(kRead, "/api/v2/users", Role::kNone, kutt),
      // the YOURLS API: its actions check keys themselves (signature=KEY)
      RouteTo<&YourlsDoor::Api>(kRead | kPost, "/yourls-api.php", Role::kNone, yourls),
      // Shlink's REST API v3: the key in X-Api-Key, or the shorten's ?apiKey=
      RouteTo<&ShlinkDoor::Create>(kPost, "/rest/v3/short-urls", Role::kNone, shlink),
      RouteTo<&ShlinkDoor::List>(kRead, "/rest/v3/short-urls", Role::kNone, shlink),
      RouteTo<&ShlinkDoor::Shorten>(kRead, "/rest/v3/short-urls/shorten", Role::kNone, shlink),
      RouteTo<&ShlinkDoor::NotOffered>(kRead | kPost | kPatch | kDelete, "/rest/v3/short-urls/+/visits", Role::kNone,
                                       shlink),
      RouteTo<&ShlinkDoor::NotOffered>(kRead | kPost | kPatch | kDelete, "/rest/v3/short-urls/+/redirect-rules",
                                       Role::kNone, shlink),
      RouteTo<&ShlinkDoor::Get>(kRead, "/rest/v3/short-urls/+", Role::kNone, shlink),
      RouteTo<&ShlinkDoor::Edit>(kPatch, "/rest/v3/short-urls/+", Role::kNone, shlink),
      RouteTo<&ShlinkDoor::Delete>(kDelete, "/rest/v3/short-urls/+", Role::kNone, shlink),
      RouteTo<&ShlinkDoor::ListDomains>(kRead, "/rest/v3/domains", Role::kNone, shlink),
      RouteTo<&ShlinkDoor::Health>(kRead, "/rest/v3/health", Role::kNone, shlink),
      RouteTo<&ShlinkDoor::Health>(kRead, "/rest/health", Role::kNone, shlink),
      RouteTo<&ShlinkDoor::Preflight>(kOptions, "/rest/*", Role::kNone, shlink),
      RouteTo<&ShlinkDoor::NotOffered>(kRead | kPost | kPatch | kDelete, "/rest/*", Role::kNone, shlink),
      // the short addresses: their QR codes, and the redirects, which take every other GET
      RouteTo<&PagesDoor::QrCode>(kRead, "/+/qr-code", Role::kNone, pages),
      RouteTo<&PagesDoor::Redirect>(kRead, "/+", Role::kNone, pages),
  };
  return open;
}

}  // namespace snipora::service
