// The application's pages and files: the home page, static files, the Windows
// program, health and metrics.
#include "service/app/application.h"

#include <string>

#include "service/core/pages.h"
#include "service/app/replies.h"
#include "service/app/static_files.h"

namespace snipora::service {

std::optional<Reply> Application::Home(Call& call) {
  return Reply{200, kHtml,
               HomePage(call.language, parts_.settings.publicHost,
                        parts_.clientPackage ? parts_.clientPackage->name : ""),
               {}};
}

// The pages' files, from memory: a day in caches, then the ETag.
std::optional<Reply> Application::Static(Call& call) {
  const StaticFile* file = FindStaticFile(call.capture);
  if (!file) return Page(call.language, 404, &PageTexts::notFoundTitle, &PageTexts::notFound);
  // the type is a string literal: its data() ends in a NUL
  Reply reply{200, file->type.data(), {}, {{"ETag", std::string(file->etag)},
                                           {"Cache-Control", "public, max-age=86400"}}};
  if (NotModified(call.http, file->etag))
    reply.status = 304;
  else
    reply.fixedBody = {reinterpret_cast<const char*>(file->bytes.data()), file->bytes.size()};
  return reply;
}

std::optional<Reply> Application::Download(Call& call) {
  const ClientPackage* package = parts_.clientPackage;
  if (!package || call.capture != package->name)
    return Page(call.language, 404, &PageTexts::notFoundTitle, &PageTexts::nothingToDownload);
  Reply reply{200, "application/zip", {}, {{"ETag", package->etag},
                                           {"Cache-Control", "no-cache"},
                                           {"Content-Disposition", "attachment; filename=\"" + package->name + "\""}}};
  if (NotModified(call.http, package->etag))
    reply.status = 304;
  else
    reply.fixedBody = package->bytes;
  return reply;
}

std::optional<Reply> Application::Health(Call&) {
  if (parts_.store.Healthy()) return Reply{200, "text/plain; charset=utf-8", "ok\n", {}};
  return RetryLater(Reply{503, "text/plain; charset=utf-8",
                          "the store does not answer: creations and links not in the cache fail until it is back\n",
                          {}});
}

std::optional<Reply> Application::MetricsText(Call&) {
  Metrics& metrics = parts_.metrics;
  metrics.cacheEntries = parts_.cache.size();
  metrics.cacheCapacity = parts_.cache.capacity();
  metrics.cacheHits = parts_.cache.hits();
  metrics.cacheMisses = parts_.cache.misses();
  return Reply{200, "text/plain; version=0.0.4", metrics.Text(), {}};
}

}  // namespace snipora::service
