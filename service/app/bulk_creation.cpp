// Operations::CreateMany: the console's many addresses at once, each through
// the checks of one creation, answered together.
#include <atomic>
#include <memory>
#include <mutex>

#include "service/app/operations.h"

namespace snipora::service {

std::optional<Reply> Operations::CreateMany(Call& call, std::vector<CreationAsk> asks,
                                            std::function<Reply(std::vector<CreationOutcome>)> shape) {
  call.http.kind = RequestKind::kCreation;
  if (asks.size() > kMaxCreationsAtOnce) asks.resize(kMaxCreationsAtOnce);
  // what the writer's answers fill in; the last one answers the call
  struct Gathered {
    std::vector<CreationOutcome> outcomes;
    std::atomic<std::size_t> waiting{0};
    std::function<Reply(std::vector<CreationOutcome>)> shape;
    Completion complete;
  };
  auto gathered = std::make_shared<Gathered>();
  gathered->outcomes.resize(asks.size());
  std::vector<std::size_t> submitted;
  for (std::size_t i = 0; i < asks.size(); ++i) {
    CreationOutcome& outcome = gathered->outcomes[i];
    outcome.domain = call.domain->stored;
    if (const std::optional<CreationOutcome::Kind> refused = CheckCreation(call, asks[i], true, outcome)) {
      Metrics::Add(*refused == CreationOutcome::kRateLimited ? parts_.metrics.rateLimited : parts_.metrics.refused);
      outcome.kind = *refused;
      continue;
    }
    submitted.push_back(i);
  }
  if (submitted.empty()) return shape(std::move(gathered->outcomes));
  gathered->waiting = submitted.size();
  gathered->shape = std::move(shape);
  gathered->complete = call.Defer();
  for (const std::size_t i : submitted) {
    CreationAsk& ask = asks[i];
    Creation creation{gathered->outcomes[i].address, std::move(ask.alias), call.caller ? call.caller->name : "",
                      std::move(ask.title), std::move(ask.tags), ask.expires, ask.maxClicks, call.domain->stored};
    parts_.writer.Submit(std::move(creation), [this, gathered, i](const Created& created) {
      // each answer writes its own slot; the last one's decrement sees them all
      gathered->outcomes[i] = Settle(std::move(gathered->outcomes[i]), created);
      if (gathered->waiting.fetch_sub(1) != 1) return;
      // made on the transport's thread: the shape may read the store
      gathered->complete([gathered] { return gathered->shape(std::move(gathered->outcomes)); });
    });
  }
  return std::nullopt;
}

}  // namespace snipora::service
