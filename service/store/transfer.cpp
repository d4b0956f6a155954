#include "service/store/transfer.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "service/core/address_check.h"
#include "service/core/address_form.h"
#include "service/core/csv.h"
#include "service/core/numbers.h"
#include "service/core/utc_time.h"

namespace snipora::service {
namespace {

constexpr std::size_t kBatch = 5000;
constexpr const char* kHeader[] = {"code", "address", "created", "clicks"};

// Links waiting to go into the target together; the outcome of each counted.
class Mover {
 public:
  Mover(Store& to, std::FILE* report, TransferReport& counts, std::set<std::string>* added = nullptr)
      : to_(to), report_(report), counts_(counts), added_(added) {}
  // `life`: what the link carries besides (disabled, notes), set on it once
  // it is inserted
  void Add(NewLink link, std::optional<LinkChange> life = std::nullopt) {
    batch_.push_back(std::move(link));
    lives_.push_back(std::move(life));
    if (batch_.size() >= kBatch) Flush();
  }
  void Flush() {
    if (batch_.empty()) return;
    const std::vector<InsertResult> results = to_.InsertIfAbsent(batch_);
    for (std::size_t i = 0; i < batch_.size(); ++i) {
      const NewLink& link = batch_[i];
      switch (results[i].outcome) {
        case InsertResult::kInserted:
          ++counts_.added;
          if (added_) added_->insert(LinkKey(link.domain, link.code));
          if (lives_[i]) to_.ChangeLink(LinkKey(link.domain, link.code), *lives_[i]);
          break;
        case InsertResult::kAddressKnown:
          if (results[i].code == link.code) {
            ++counts_.present;
          } else {
            ++counts_.conflicts;
            std::fprintf(report_, "conflict: %s: its address has the code %s there already; skipped\n",
                         link.code.c_str(), results[i].code.c_str());
          }
          break;
        case InsertResult::kCodeTaken:
          ++counts_.conflicts;
          std::fprintf(report_, "conflict: %s: the code belongs to another address there; skipped\n",
                       link.code.c_str());
          break;
        case InsertResult::kCodeHeld:
          ++counts_.conflicts;
          std::fprintf(report_,
                       "conflict: %s: a link with this code was deleted there, and the code is held back "
                       "(--code-quarantine-days); skipped\n",
                       link.code.c_str());
          break;
      }
    }
    batch_.clear();
    lives_.clear();
  }

 private:
  Store& to_;
  std::FILE* report_;
  TransferReport& counts_;
  std::vector<NewLink> batch_;
  std::vector<std::optional<LinkChange>> lives_;
  std::set<std::string>* added_;  // the keys inserted, when asked
};

bool ReadCount(std::string_view text, int64_t* value) {
  const std::optional<int64_t> count = ParseWholeNumber(text);
  if (count) *value = *count;
  return count && *count >= 0;
}

// Every record of the input, with its line; false from `visit` stops.
template <typename Visit>
void ForEachRecord(std::istream& in, Visit&& visit) {
  CsvReader reader;
  char block[1 << 16];
  std::string error;
  bool last = false;
  while (!last) {
    in.read(block, sizeof block);
    last = in.gcount() < std::streamsize(sizeof block);
    reader.Feed(std::string_view(block, std::size_t(in.gcount())), last);
    for (;;) {
      std::optional<std::vector<std::string>> record = reader.Next(&error);
      if (!record && error.empty()) break;
      visit(reader.line(), record ? &*record : nullptr, error);
    }
  }
}

// Why a row cannot be imported; "" when it can.
std::string CheckRow(const std::vector<std::string>& row, const OwnHosts& own, NewLink* link) {
  if (row.size() != 4) return "expected 4 fields, found " + std::to_string(row.size());
  if (!IsValidCode(row[0]) || IsReservedCode(row[0]))
    return "the code is not 1 to 32 letters, digits, - or _, or is a name the service uses itself";
  // checked as a creation is, but kept as given: the codes of another
  // service's export lead exactly where they led there, and two rows whose
  // addresses share one stored form both keep their codes
  const StoredForm check = AcceptAddress(row[1], own, DenyList());
  if (check.refusal != Refusal::kAccepted) return std::string("the address: ") + RefusalText(check.refusal);
  const std::optional<long long> created = ParseTime(row[2]);
  if (!created) return "created is neither YYYY-MM-DDTHH:MM:SSZ nor seconds since 1970";
  if (!ReadCount(row[3], &link->clicks)) return "clicks is not a whole number of 0 or more";
  link->code = row[0];
  link->address = row[1];
  link->created = *created;
  return {};
}

}  // namespace

TransferReport CopyLinks(Store& from, Store& to, std::FILE* report) {
  TransferReport counts;
  std::set<std::string> added;
  Mover mover(to, report, counts, &added);
  from.ForEachLink([&](const Link& link) {
    std::optional<LinkChange> life;
    if (link.disabled || !link.publicNote.empty() || !link.privateNote.empty()) {
      life.emplace();
      life->disabled = link.disabled;
      life->publicNote = link.publicNote;
      life->privateNote = link.privateNote;
    }
    mover.Add({link.code, link.address, link.created, link.clicks, link.owner, link.title, link.tags, link.expires,
               link.maxClicks, link.domain},
              std::move(life));
    return true;
  });
  mover.Flush();
  // after the links: a code the source gave out again after its quarantine
  // is copied as a link, not refused as held
  std::vector<FreedCode> freed;
  const auto addFreed = [&] {
    to.AddFreedCodes(freed);
    counts.freedCodes += freed.size();
    freed.clear();
  };
  from.ForEachFreedCode([&](const FreedCode& code) {
    freed.push_back(code);
    if (freed.size() >= kBatch) addFreed();
    return true;
  });
  addFreed();
  // the analytics of the links this copy added (a link there already has
  // its own, and a copy run again adds nothing twice)
  from.ForEachTally([&](const Tallies& page) {
    Tallies kept;
    for (const TallyRow& row : page.counts)
      if (added.contains(row.code)) kept.counts.push_back(row);
    for (const RegisterRow& row : page.registers)
      if (added.contains(row.code)) kept.registers.push_back(row);
    to.AddTallies(kept);
    return true;
  });
  return counts;
}

uint64_t ExportCsv(Store& from, std::ostream& out, std::string_view domain) {
  uint64_t written = 0;
  out << CsvRecord({kHeader[0], kHeader[1], kHeader[2], kHeader[3]});
  from.ForEachLink([&](const Link& link) {
    if (link.domain != domain) return true;
    const std::string created = IsoUtc(link.created), clicks = std::to_string(link.clicks);
    out << CsvRecord({link.code, link.address, created, clicks});
    ++written;
    return true;
  });
  out.flush();
  return written;
}

TransferReport ImportCsv(std::istream& in, Store& to, const OwnHosts& own, std::FILE* report, std::string_view domain) {
  TransferReport counts;
  std::vector<NewLink> links;  // all of them, checked, before any is stored
  bool header = true;
  ForEachRecord(in, [&](std::size_t line, const std::vector<std::string>* row, const std::string& error) {
    std::string why = error;
    NewLink link;
    if (row && header) {
      if (*row != std::vector<std::string>(std::begin(kHeader), std::end(kHeader)))
        why = "the first line must be code,address,created,clicks";
    } else if (row) {
      why = CheckRow(*row, own, &link);
    }
    header = false;
    if (!why.empty()) {
      ++counts.badRows;
      std::fprintf(report, "line %zu: %s\n", line, why.c_str());
    } else if (row && !link.code.empty()) {
      links.push_back(std::move(link));
    }
  });
  if (header) {
    ++counts.badRows;
    std::fprintf(report, "the input is empty: the first line must be code,address,created,clicks\n");
  }
  if (counts.badRows) return counts;
  Mover mover(to, report, counts);
  for (NewLink& link : links) {
    link.domain = domain;
    mover.Add(std::move(link));
  }
  mover.Flush();
  return counts;
}

}  // namespace snipora::service
