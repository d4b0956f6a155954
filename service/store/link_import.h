#pragma once
// Links moved in from another shortener's export, or from this service's
// own JSON Lines (link_record.h), and out to those lines. Every link keeps
// its code, on its domain: a code there already for another address is a
// conflict, listed and never overwritten; an address that fails a
// creation's checks is refused, listed with why. Links go in batches of one
// transaction each, and one there already is counted as present, so a
// second run (or a run resumed after an interruption) changes nothing.
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <string_view>

#include "service/base/service_names.h"
#include "service/core/address_check.h"
#include "service/core/own_hosts.h"
#include "service/store/store.h"

namespace snipora::service {

enum class ImportFormat { kYourls, kShlink, kKutt, kSnipora };
// "yourls", "shlink", "kutt" or "snipora"; false for another name.
bool ImportFormatNamed(std::string_view name, ImportFormat* format);

struct ImportSettings {
  ImportFormat format = ImportFormat::kSnipora;
  const Domains* domains = nullptr;  // the service's
  // the domain, as the store names it, of the links whose export names none
  // (YOURLS's, Kutt's own domain's); and its host, which a link's own domain
  // may name too
  std::string target, targetHost;
  const OwnHosts* own = nullptr;
  const DenyList* denied = nullptr;
  bool dryRun = false;
  std::FILE* report = nullptr;   // the conflicts and refusals, a line each, and the summary
  bool progress = false;         // a line of counts kept up to date (a terminal)
};

struct ImportCounts {
  uint64_t read = 0, added = 0, present = 0, conflicts = 0, refused = 0;
};

ImportCounts ImportLinks(std::string_view input, Store& store, const ImportSettings& settings);

// Every link, of every domain, one line each (link_record.h), the domain
// named by its host's name; with `only` (a domain as the store names it), that
// domain's alone. The number written. Reads the store a page at a time: the
// memory it takes does not grow with the store.
uint64_t ExportLinkLines(Store& store, const Domains& domains, std::ostream& out, const std::string* only = nullptr);

}  // namespace snipora::service
