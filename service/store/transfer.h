#pragma once
// Moving links: from one store into another, out to CSV and in from it.
// Every link keeps its code, creation time and clicks. Insert-if-absent, so
// running a move again changes nothing: a link already there (same code,
// same address) is counted as present. A conflict (the code belongs to
// another address there, or the address has another code there) is reported
// and skipped, never overwritten; so is a code a link deleted there had
// (held back, --code-quarantine-days). Links go in transactions of thousands.
//
// The CSV has the header code,address,created,clicks; created as
// 2026-12-09T16:36:10Z (UTC; whole seconds since 1970 are read too).
#include <cstdint>
#include <cstdio>
#include <istream>
#include <ostream>
#include <string_view>

#include "service/core/own_hosts.h"
#include "service/store/store.h"

namespace snipora::service {

struct TransferReport {
  uint64_t added = 0;      // stored now
  uint64_t present = 0;    // there already, unchanged
  uint64_t conflicts = 0;  // skipped, each reported
  uint64_t badRows = 0;    // import: rows refused, each reported; then nothing is imported
  uint64_t freedCodes = 0; // copy: codes of deleted links carried, held back there as here
};

// Conflicts and bad rows are written to `report`, one line each.
TransferReport CopyLinks(Store& from, Store& to, std::FILE* report);
// The number of links written: those of one domain ("": the default), as
// the four columns have no place for it.
uint64_t ExportCsv(Store& from, std::ostream& out, std::string_view domain = {});
// Reads the whole input and checks every row first (code, address as the
// service checks them, a link to one of `own` refused as a loop, time,
// clicks); with any bad row nothing is stored. Onto one domain ("": the default).
TransferReport ImportCsv(std::istream& in, Store& to, const OwnHosts& own, std::FILE* report,
                         std::string_view domain = {});

}  // namespace snipora::service
