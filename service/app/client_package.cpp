#include "service/app/client_package.h"

#include <zip.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace snipora::service {
namespace {

constexpr char kSettingsName[] = "Snipora.ini";

struct ArchiveClose {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct SourceFree {
  void operator()(zip_source_t* source) const { zip_source_free(source); }
};
using Archive = std::unique_ptr<zip_t, ArchiveClose>;
using Source = std::unique_ptr<zip_source_t, SourceFree>;

// The whole of what a buffer source holds after the archive was written into it.
std::string ReadSource(zip_source_t* source) {
  if (zip_source_open(source) < 0) return {};
  std::string bytes;
  char block[1 << 16];
  for (zip_int64_t got; (got = zip_source_read(source, block, sizeof block)) > 0;) bytes.append(block, size_t(got));
  zip_source_close(source);
  return bytes;
}

std::string Etag(std::string_view bytes) {
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
  char text[48];
  std::snprintf(text, sizeof text, "\"%016llx-%zx\"", static_cast<unsigned long long>(hash), bytes.size());
  return text;
}

bool IsDownloadName(std::string_view name) {
  if (name.size() < 5 || name.size() > 128 || !name.ends_with(".zip") || name.front() == '.') return false;
  for (char c : name)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_')) return false;
  return true;
}

}  // namespace

std::string ClientSettingsFile(std::string_view publicHost) {
  // CRLF: the file is for Windows, where an administrator may open it in Notepad
  return "[Service]\r\nHost=" + std::string(publicHost) + "\r\n";
}

ClientPackage BuildClientPackage(const std::string& path, std::string_view publicHost) {
  const auto fail = [&](const std::string& why) { return std::runtime_error("client package " + path + ": " + why); };
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(path, error);
  if (error) throw fail(error.message());
  ClientPackage package;
  package.name = real.filename().string();
  if (!IsDownloadName(package.name))
    throw fail("its name must be letters, digits, '.', '-' or '_', ending in .zip");

  std::ifstream in(real, std::ios::binary);
  std::ostringstream read;
  read << in.rdbuf();
  if (!in) throw fail("cannot be read");
  const std::string original = read.str();

  zip_error_t zipError;
  zip_error_init(&zipError);
  // The source owns a copy it may free itself: when the archive is written
  // back into it, libzip 1.7 hands the old buffer's memory over to the new
  // one and frees it later, so it must come from malloc and not from us.
  void* copy = std::malloc(original.size());
  if (!copy) throw fail("out of memory");
  std::memcpy(copy, original.data(), original.size());
  Source source(zip_source_buffer_create(copy, original.size(), 1, &zipError));
  if (!source) {
    std::free(copy);
    throw fail(zip_error_strerror(&zipError));
  }
  Archive archive(zip_open_from_source(source.get(), ZIP_CHECKCONS, &zipError));
  if (!archive) {
    const std::string why = zip_error_strerror(&zipError);
    zip_error_fini(&zipError);
    throw fail("not a zip archive (" + why + ")");
  }
  zip_error_fini(&zipError);
  // the archive now owns a reference; this one keeps the source for reading back
  zip_source_keep(source.get());

  const zip_int64_t entries = zip_get_num_entries(archive.get(), 0);
  if (entries <= 0) throw fail("the archive is empty");
  // the added file carries the release's own time, so the bytes depend on nothing else
  zip_stat_t first;
  zip_stat_init(&first);
  if (zip_stat_index(archive.get(), 0, 0, &first) < 0 || !(first.valid & ZIP_STAT_MTIME)) throw fail("no time");

  const std::string settings = ClientSettingsFile(publicHost);
  zip_source_t* content = zip_source_buffer(archive.get(), settings.data(), settings.size(), 0);
  if (!content) throw fail(zip_strerror(archive.get()));
  zip_int64_t index = zip_name_locate(archive.get(), kSettingsName, ZIP_FL_NOCASE);
  if (index >= 0) {
    if (zip_file_replace(archive.get(), zip_uint64_t(index), content, 0) < 0) {
      zip_source_free(content);
      throw fail(zip_strerror(archive.get()));
    }
  } else {
    index = zip_file_add(archive.get(), kSettingsName, content, 0);
    if (index < 0) {
      zip_source_free(content);
      throw fail(zip_strerror(archive.get()));
    }
  }
  // stored, not deflated: the same bytes whatever zlib the machine has
  if (zip_set_file_compression(archive.get(), zip_uint64_t(index), ZIP_CM_STORE, 0) < 0 ||
      zip_file_set_mtime(archive.get(), zip_uint64_t(index), first.mtime, 0) < 0)
    throw fail(zip_strerror(archive.get()));
  // zip_close writes the new archive into the source and frees the archive
  if (zip_close(archive.get()) < 0) throw fail(zip_strerror(archive.get()));
  archive.release();
  package.bytes = ReadSource(source.get());
  if (package.bytes.empty()) throw fail("the archive could not be written");
  package.etag = Etag(package.bytes);
  return package;
}

}  // namespace snipora::service
