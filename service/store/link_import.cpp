#include "service/store/link_import.h"

#include <limits>
#include <optional>
#include <vector>

#include "service/core/address_form.h"
#include "service/core/allowed_hosts.h"
#include "service/core/kutt_pages.h"
#include "service/core/link_record.h"
#include "service/core/shlink_csv.h"
#include "service/core/yourls_dump.h"

namespace snipora::service {
namespace {

// Links a transaction: at 1000 the commits cost more than the rows.
constexpr std::size_t kBatch = 5000;

// One reader over every format: the next record or a fault, false at the end.
class Records {
 public:
  // only the format's own reader: the CSV reader keeps a copy of its text
  Records(ImportFormat format, std::string_view input) : format_(format), lines_(input), yourls_(input), kutt_(input) {
    if (format == ImportFormat::kShlink) shlink_.emplace(input);
  }
  bool Next(LinkRecord& record, std::string& error) {
    switch (format_) {
      case ImportFormat::kYourls: return yourls_.Next(record, error);
      case ImportFormat::kShlink: return shlink_->Next(record, error);
      case ImportFormat::kKutt: return kutt_.Next(record, error);
      case ImportFormat::kSnipora: {
        std::string_view line;
        if (!lines_.Next(&line)) return false;
        error.clear();
        std::optional<LinkRecord> read = ReadLinkRecordLine(line, &error);
        if (read) record = std::move(*read);
        return true;
      }
    }
    return false;
  }
  // Where the last record was: its line (the page, for Kutt).
  std::string Where() const {
    switch (format_) {
      case ImportFormat::kYourls: return "line " + std::to_string(yourls_.line());
      case ImportFormat::kShlink: return "line " + std::to_string(shlink_->line());
      case ImportFormat::kKutt: return "page " + std::to_string(kutt_.line());
      case ImportFormat::kSnipora: return "line " + std::to_string(lines_.line());
    }
    return {};
  }

 private:
  ImportFormat format_;
  LineReader lines_;
  YourlsDumpReader yourls_;
  std::optional<ShlinkCsvReader> shlink_;
  KuttPagesReader kutt_;
};

struct Pending {
  NewLink link;
  std::optional<LinkChange> life;                  // disabled, notes: set once inserted
  std::vector<std::pair<int64_t, int64_t>> days;   // daily counts: written once inserted
  std::string where;
};

class Importer {
 public:
  Importer(Store& store, const ImportSettings& settings) : store_(store), settings_(settings) {}

  void Take(LinkRecord& record, const std::string& where) {
    ++counts_.read;
    const std::optional<std::string> domain = StoredDomain(record.domain);
    if (!domain) return Refuse(where, record.code, "its domain " + record.domain + " is none of this service's (--domain)");
    if (!IsValidCode(record.code) || IsReservedCode(record.code))
      return Refuse(where, record.code, "the code is not 1 to 32 letters, digits, - or _, or is a name the service uses itself");
    const StoredForm check = AcceptAddress(record.address, *settings_.own, *settings_.denied);
    if (check.refusal != Refusal::kAccepted)
      return Refuse(where, record.code, std::string("the address: ") + RefusalText(check.refusal));
    Pending pending;
    NewLink& link = pending.link;
    link.code = record.code;
    link.domain = *domain;
    // this service's own lines are in the stored form already, byte for byte
    link.address = settings_.format == ImportFormat::kSnipora ? record.address : check.address;
    link.created = record.created;
    link.owner = record.owner;
    link.title = record.title;
    link.tags = record.tags;
    link.expires = record.expires;
    link.maxClicks = record.maxClicks;
    // the days' clicks are added with their days, after the rest
    int64_t counted = 0;
    for (const auto& [day, clicks] : record.days) counted += clicks;
    link.clicks = record.clicks > counted ? record.clicks - counted : 0;
    pending.days = std::move(record.days);
    if (record.disabled || !record.publicNote.empty() || !record.privateNote.empty()) {
      pending.life.emplace();
      pending.life->disabled = record.disabled;
      pending.life->publicNote = record.publicNote;
      pending.life->privateNote = record.privateNote;
    }
    pending.where = where;
    batch_.push_back(std::move(pending));
    if (batch_.size() >= kBatch) Flush();
  }

  void Fault(const std::string& where, const std::string& why) {
    ++counts_.read;
    ++counts_.refused;
    std::fprintf(settings_.report, "refused: %s: %s\n", where.c_str(), why.c_str());
  }

  void Flush() {
    if (batch_.empty()) return;
    if (settings_.dryRun) {
      for (const Pending& pending : batch_) Settle(pending, WouldInsert(pending.link));
    } else {
      std::vector<NewLink> links;
      links.reserve(batch_.size());
      for (const Pending& pending : batch_) links.push_back(pending.link);
      const std::vector<InsertResult> results = store_.InsertIfAbsent(links);
      for (std::size_t i = 0; i < batch_.size(); ++i) {
        Settle(batch_[i], results[i]);
        if (results[i].outcome != InsertResult::kInserted) continue;
        const std::string key = LinkKey(batch_[i].link.domain, batch_[i].link.code);
        if (batch_[i].life) store_.ChangeLink(key, *batch_[i].life);
        for (const auto& [day, clicks] : batch_[i].days)
          if (clicks > 0) store_.AddClicks(std::vector<ClickCount>{{key, clicks}}, ClickFlush{"", day});
      }
    }
    batch_.clear();
    if (settings_.progress) {
      std::fprintf(settings_.report, "\rread %llu, %s %llu, there already %llu, conflicts %llu, refused %llu ",
                   Count(counts_.read), settings_.dryRun ? "to add" : "added", Count(counts_.added),
                   Count(counts_.present), Count(counts_.conflicts), Count(counts_.refused));
      std::fflush(settings_.report);
    }
  }

  const ImportCounts& counts() const { return counts_; }

 private:
  static unsigned long long Count(uint64_t n) { return static_cast<unsigned long long>(n); }

  std::optional<std::string> StoredDomain(const std::string& named) const {
    if (named.empty()) return settings_.target;
    if (const Domain* domain = settings_.domains->Find(named)) return domain->stored;
    if (!settings_.targetHost.empty() && HostKey(named) == HostKey(settings_.targetHost)) return settings_.target;
    return std::nullopt;
  }

  void Refuse(const std::string& where, const std::string& code, const std::string& why) {
    ++counts_.refused;
    std::fprintf(settings_.report, "refused: %s: %s: %s\n", where.c_str(), code.c_str(), why.c_str());
  }

  // What InsertIfAbsent would answer, read without a write.
  InsertResult WouldInsert(const NewLink& link) {
    if (const std::optional<std::string> code = store_.FindAddress(link.address, link.domain))
      return {InsertResult::kAddressKnown, *code};
    if (store_.FindCode(LinkKey(link.domain, link.code))) return {InsertResult::kCodeTaken, {}};
    return {InsertResult::kInserted, link.code};
  }

  void Settle(const Pending& pending, const InsertResult& result) {
    const char* code = pending.link.code.c_str();
    const std::string domain = pending.link.domain.empty() ? "" : " on " + pending.link.domain;
    switch (result.outcome) {
      case InsertResult::kInserted: ++counts_.added; return;
      case InsertResult::kAddressKnown:
        if (result.code == pending.link.code) {
          ++counts_.present;
          return;
        }
        ++counts_.conflicts;
        std::fprintf(settings_.report, "conflict: %s: %s%s: its address has the code %s there already; not imported\n",
                     pending.where.c_str(), code, domain.c_str(), result.code.c_str());
        return;
      case InsertResult::kCodeTaken:
        ++counts_.conflicts;
        std::fprintf(settings_.report, "conflict: %s: %s%s: the code leads to another address there; left as it is\n",
                     pending.where.c_str(), code, domain.c_str());
        return;
      case InsertResult::kCodeHeld:
        ++counts_.conflicts;
        std::fprintf(settings_.report,
                     "conflict: %s: %s%s: a link with this code was deleted there and the code is held back "
                     "(--code-quarantine-days); not imported\n",
                     pending.where.c_str(), code, domain.c_str());
        return;
    }
  }

  Store& store_;
  const ImportSettings& settings_;
  ImportCounts counts_;
  std::vector<Pending> batch_;
};

}  // namespace

bool ImportFormatNamed(std::string_view name, ImportFormat* format) {
  constexpr std::pair<std::string_view, ImportFormat> kNames[] = {{"yourls", ImportFormat::kYourls},
                                                                  {"shlink", ImportFormat::kShlink},
                                                                  {"kutt", ImportFormat::kKutt},
                                                                  {"snipora", ImportFormat::kSnipora}};
  for (const auto& [known, value] : kNames)
    if (name == known) {
      *format = value;
      return true;
    }
  return false;
}

ImportCounts ImportLinks(std::string_view input, Store& store, const ImportSettings& settings) {
  Records records(settings.format, input);
  Importer importer(store, settings);
  LinkRecord record;
  std::string error;
  while (records.Next(record, error)) {
    if (!error.empty())
      importer.Fault(records.Where(), error);
    else
      importer.Take(record, records.Where());
  }
  importer.Flush();
  if (settings.progress) std::fputc('\n', settings.report);
  return importer.counts();
}

uint64_t ExportLinkLines(Store& store, const Domains& domains, std::ostream& out, const std::string* only) {
  uint64_t written = 0;
  LinkRecord record;
  store.ForEachLink([&](const Link& link) {
    if (only && link.domain != *only) return true;
    record.domain = link.domain.empty() ? domains.Default().name : link.domain;
    record.code = link.code;
    record.address = link.address;
    record.created = link.created;
    record.clicks = link.clicks;
    record.title = link.title;
    record.tags = link.tags;
    record.publicNote = link.publicNote;
    record.privateNote = link.privateNote;
    record.disabled = link.disabled;
    record.expires = link.expires;
    record.maxClicks = link.maxClicks;
    record.owner = link.owner;
    record.days.clear();
    if (link.clicks > 0)
      for (const DayCount& day :
           store.ClicksByDay(LinkKey(link), std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()))
        record.days.emplace_back(day.day, day.clicks);
    out << LinkRecordLine(record);
    ++written;
    return bool(out);
  });
  out.flush();
  return written;
}

}  // namespace snipora::service
