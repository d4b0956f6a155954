// The option table as operators meet it: the command line, the configuration
// file beside it (the command line wins), and refusals that say where.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "service/base/service_names.h"
#include "service/base/settings.h"
#include "service/tests/support/http_client.h"

namespace snipora::service {
namespace {

std::string WriteFile(const test::TempDir& dir, std::string_view name, std::string_view text) {
  const std::string path = dir.File(name);
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

TEST(Settings, TheFileSetsTheServiceAndTheCommandLineWins) {
  test::TempDir dir;
  const std::string file = WriteFile(dir, "service.conf",
                                     "\xEF\xBB\xBF# written on Windows\r\n"
                                     "listen = 0.0.0.0:80\r\n"
                                     "  threads=4  \r\n"
                                     "\r\n"
                                     "public-host = s.example.org\r\n"
                                     "database = postgresql://snipora@db/snipora?sslmode=require\r\n"
                                     "access-log = off\r\n"
                                     "deny-list =\r\n"
                                     "trusted-proxies = 10.0.0.0/8, ::1\r\n");
  const ParsedCommandLine parsed = ParseCommandLine({"--threads", "8", "--config", file, "--listen=127.0.0.1:9"});
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.command, Command::kServe);
  EXPECT_EQ(parsed.settings.threads, 8u);
  EXPECT_EQ(parsed.settings.listen, "127.0.0.1:9");
  EXPECT_EQ(parsed.settings.publicHost, "s.example.org");
  EXPECT_EQ(parsed.settings.database, "postgresql://snipora@db/snipora?sslmode=require");
  EXPECT_FALSE(parsed.settings.accessLog);
  EXPECT_EQ(parsed.settings.denyList, "");
  EXPECT_EQ(parsed.settings.trustedProxies, "10.0.0.0/8, ::1");
  EXPECT_EQ(parsed.settings.creationsPerMinute, Settings().creationsPerMinute);

  // the commands read their store from the same file, and take their own options
  const ParsedCommandLine exported = ParseCommandLine({"export", "--config", file, "--output", "out.csv"});
  ASSERT_EQ(exported.error, "");
  EXPECT_EQ(exported.command, Command::kExport);
  EXPECT_EQ(exported.settings.database, "postgresql://snipora@db/snipora?sslmode=require");
  EXPECT_EQ(exported.settings.output, "out.csv");
  EXPECT_EQ(ParseCommandLine({"copy", "--from", "a.db"}).error, "copy needs --from and --to");
  EXPECT_EQ(ParseCommandLine({"export", "--threads", "2"}).error, "unknown option '--threads'");
  EXPECT_EQ(ParseCommandLine({"--output", "x"}).error, "unknown option '--output'");
  EXPECT_EQ(ParseCommandLine({"serve"}).error, "unknown command 'serve'");
}

// --domain is given once a domain: the file's lines add up, the command
// line's take their place; for export and import the command line's names
// their own domain and the file's stay the service's.
TEST(Settings, DomainsAddUpAndImportsNameTheirOwn) {
  const test::TempDir dir;
  const std::string file = dir.File("snipora.conf");
  std::ofstream(file) << "domain = go.example\ndomain = s.example:8080\n";
  EXPECT_EQ(ParseCommandLine({"--config", file}).settings.domains, "go.example,s.example:8080");
  EXPECT_EQ(ParseCommandLine({"--config", file, "--domain", "a.example", "--domain", "b.example"}).settings.domains,
            "a.example,b.example");
  const ParsedCommandLine import =
      ParseCommandLine({"import", "--from", "yourls", "dump.sql", "--config", file, "--domain", "old.example", "--dry-run"});
  ASSERT_EQ(import.error, "");
  EXPECT_EQ(import.settings.domains, "go.example,s.example:8080");
  EXPECT_EQ(import.settings.importDomain, "old.example");
  EXPECT_EQ(import.operands, std::vector<std::string>{"dump.sql"});
  EXPECT_TRUE(import.settings.dryRun);
  EXPECT_NE(ParseCommandLine({"--domain", "a.example,b.example"}).error, "");
  EXPECT_NE(ParseCommandLine({"export", "--format", "xml"}).error, "");
}

TEST(Settings, EveryRefusalNamesTheFileTheLineAndTheOption) {
  test::TempDir dir;
  struct Case {
    const char* text;
    const char* error;  // after "FILE:"
  };
  for (const Case& c : {
           Case{"threads = 2\nthreads = 65\n", "2: threads takes a number from 1 to 64, not '65'"},
           Case{"# comment\nthreds = 2\n", "2: unknown option 'threds'"},
           Case{"config = other.conf\n", "1: unknown option 'config'"},
           Case{"output = x.csv\n", "1: unknown option 'output'"},
           Case{"access-log = yes\n", "1: access-log takes on or off, not 'yes'"},
           Case{"listen = localhost\n", "1: listen takes HOST:PORT (an IP address, [IPv6]:PORT), not 'localhost'"},
           Case{"\n\ndatabase =\n", "3: database needs a value"},
           Case{"trusted-proxies = 10.0.0.0/40\n",
                "1: trusted-proxies takes IP addresses and CIDR ranges: '10.0.0.0/40' is not an IP address or CIDR "
                "range"},
           Case{"threads 4\n", "1: expected NAME = VALUE, not 'threads 4'"},
       }) {
    const std::string file = WriteFile(dir, "bad.conf", c.text);
    EXPECT_EQ(ParseCommandLine({"--config", file}).error, file + ":" + c.error) << c.text;
  }
  EXPECT_EQ(ParseCommandLine({"--config", dir.File("missing.conf")}).error,
            "cannot read the configuration file " + dir.File("missing.conf"));
  // on the command line, the same rules under the option's own name
  EXPECT_EQ(ParseCommandLine({"--threads", "0"}).error, "--threads takes a number from 1 to 64, not '0'");
  EXPECT_EQ(ParseCommandLine({"--trusted-proxies", "proxy.example"}).error,
            "--trusted-proxies takes IP addresses and CIDR ranges: 'proxy.example' is not an IP address or CIDR range");
  EXPECT_EQ(ParseCommandLine({"--listen"}).error, "--listen needs a value");
  EXPECT_EQ(ParseCommandLine({"--own-hosts", "proxy.example, 1.2.3.4.5"}).error,
            "--own-hosts takes host names or IP addresses, comma-separated; '1.2.3.4.5' is none");
}

// The loop check's names: the public host and the listen address, and
// loopback only when the service listens there or everywhere.
TEST(Settings, TheServicesOwnHostsFollowWhereItListens) {
  Settings settings;
  settings.publicHost = "S.Example.Org:8080";
  settings.listen = "10.1.2.3:80";
  settings.ownHosts = "proxy.example, 0xc0.168.1.10";
  OwnHosts own = OwnHostsOf(settings);
  for (const char* host : {"s.example.org", "10.1.2.3", "proxy.example", "192.168.1.10"})
    EXPECT_TRUE(own.Holds(host)) << host;
  for (const char* host : {"localhost", "127.0.0.1", "[::1]", "example.org"}) EXPECT_FALSE(own.Holds(host)) << host;
  for (const char* listen : {"0.0.0.0:80", "[::]:80", "127.0.0.9:80", "[::1]:80"}) {
    settings.listen = listen;
    own = OwnHostsOf(settings);
    for (const char* host : {"localhost", "127.0.0.1", "127.200.0.1", "[::1]"})
      EXPECT_TRUE(own.Holds(host)) << listen << " " << host;
  }
}

// Commands of two words take their operands and their own options, read
// their store from the file, and say what is missing.
TEST(Settings, KeyAndLinkCommandsTakeTheirWordsAndOptions) {
  test::TempDir dir;
  const std::string file = WriteFile(dir, "service.conf", "database = /var/lib/snipora/links.db\nthreads = 4\n");
  const ParsedCommandLine revoke = ParseCommandLine({"key", "revoke", "--config", file, "ops"});
  ASSERT_EQ(revoke.error, "");
  EXPECT_EQ(revoke.command, Command::kKeyRevoke);
  EXPECT_EQ(revoke.operands, std::vector<std::string>{"ops"});
  EXPECT_EQ(revoke.settings.database, "/var/lib/snipora/links.db");
  const ParsedCommandLine create = ParseCommandLine({"key", "create", "--name", "ops", "--role", "admin"});
  ASSERT_EQ(create.error, "");
  EXPECT_EQ(create.settings.keyRole, "admin");
  EXPECT_EQ(ParseCommandLine({"key", "create", "--name", "x"}).settings.keyRole, "creator");
  const ParsedCommandLine disable =
      ParseCommandLine({"link", "disable", "Ab3dE9x", "--reason", "phishing", "--public-note", "Taken down."});
  ASSERT_EQ(disable.error, "");
  EXPECT_EQ(disable.command, Command::kLinkDisable);
  EXPECT_EQ(disable.operands, std::vector<std::string>{"Ab3dE9x"});
  EXPECT_EQ(disable.settings.publicNote, "Taken down.");
  EXPECT_EQ(ParseCommandLine({"link", "list", "--disabled", "true", "--limit", "5"}).settings.limit, 5u);
  for (const auto& [words, error] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"key", "create"}, "key create needs --name"},
           {{"key", "create", "--name", "a b"}, "--name takes 1 to 64 letters, digits, '-', '_' or '.', not 'a b'"},
           {{"key", "create", "--name", "a", "--role", "owner"}, "--role takes admin or creator, not 'owner'"},
           {{"key", "revoke"}, "key revoke needs 1 more word(s)"},
           {{"key", "revoke", "a", "b"}, "unexpected argument 'b'"},
           {{"key", "rotate"}, "unknown command 'key rotate'"},
           {{"link", "expire", "x"}, "link expire needs --at"},
           {{"link", "expire", "x", "--at", "soon"},
            "--at takes a UTC time from 1970 to 9999 as 2026-12-31T00:00:00Z or seconds since 1970, not 'soon'"},
           {{"link", "list", "--disabled", "yes"}, "--disabled takes true or false, not 'yes'"},
           {{"link", "list", "--created-after", "9223372036854775807"},  // a second is added to it
            "--created-after takes a UTC time from 1970 to 9999 as 2026-12-31T00:00:00Z or seconds since 1970, not "
            "'9223372036854775807'"},
           {{"link", "show", "x", "--threads", "2"}, "unknown option '--threads'"},
           {{"--reason", "x"}, "unknown option '--reason'"},
       })
    EXPECT_EQ(ParseCommandLine(words).error, error) << words[0];
}

// The configuration file the package installs is generated from the table:
// every line of it, uncommented, must read back as the defaults.
TEST(Settings, TheGeneratedConfigurationFileReadsBackAsTheDefaults) {
  test::TempDir dir;
  const std::string file = dir.File("generated.conf");
  const std::string command = std::string(SERVICE_DOCS_PROGRAM) + " conf public-host=s.example.org > " + file;
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(file);
  std::string text, line;
  int settings = 0;
  while (std::getline(in, line)) {
    // "# name = value" lines are the options; the help above them is prose
    if (line.starts_with("# ") && line.find(" =") != std::string::npos && line.find(' ', 2) == line.find(" =")) {
      line = line.substr(2);
      ++settings;
    }
    text += line + "\n";
  }
  EXPECT_GE(settings, 15);
  const std::string uncommented = WriteFile(dir, "uncommented.conf", text);
  const ParsedCommandLine parsed = ParseCommandLine({"--config", uncommented});
  ASSERT_EQ(parsed.error, "");
  const Settings defaults;
  EXPECT_EQ(parsed.settings.publicHost, "s.example.org");
  EXPECT_EQ(parsed.settings.listen, defaults.listen);
  EXPECT_EQ(parsed.settings.cacheSize, defaults.cacheSize);
  EXPECT_EQ(parsed.settings.denyList, "");
  EXPECT_EQ(parsed.settings.accessLog, defaults.accessLog);
}

// What `snipora-service-docs WHAT` prints.
std::string DocsOutput(const std::string& what) {
  std::string output;
  std::FILE* pipe = popen((std::string(SERVICE_DOCS_PROGRAM) + " " + what).c_str(), "r");
  if (!pipe) return output;
  char block[4096];
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, pipe)) > 0;) output.append(block, got);
  EXPECT_EQ(pclose(pipe), 0);
  return output;
}

// The options table of docs/operating.md is the generated one, as it is:
// the table is edited by running the generator, never by hand.
TEST(Settings, TheOptionsTableInTheDocsIsTheGeneratedOne) {
  std::ifstream in(std::string(SERVICE_DOCS_FOLDER) + "/operating.md");
  ASSERT_TRUE(in);
  std::stringstream text;
  text << in.rdbuf();
  const std::string docs = text.str();
  constexpr std::string_view kStart = "<!-- options: snipora-service-docs markdown -->\n";
  constexpr std::string_view kEnd = "<!-- end of options -->";
  const std::size_t start = docs.find(kStart);
  const std::size_t end = docs.find(kEnd);
  ASSERT_NE(start, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(docs.substr(start + kStart.size(), end - start - kStart.size()), DocsOutput("markdown"))
      << "run: snipora-service-docs markdown, and put its table between the markers in docs/operating.md";
}

// The generated table lists what --help lists: the same options in the same
// order, each with its default and its meaning.
TEST(Settings, TheGeneratedTableListsWhatHelpLists) {
  struct Listed {
    std::string name, defaultValue, help;
    bool operator==(const Listed&) const = default;
  };
  std::vector<Listed> fromTable, fromHelp;
  std::istringstream table(DocsOutput("markdown"));
  for (std::string line; std::getline(table, line);) {
    if (!line.starts_with("| `--")) continue;
    // | `--name` | `VALUE` | `default` or none | meaning |, a "|" in a cell as "\|"
    std::vector<std::string> cells(1);
    for (std::size_t i = 1; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '|') {
        cells.back() += line[++i];
      } else if (line[i] == '|') {
        cells.emplace_back();
      } else {
        cells.back() += line[i];
      }
    }
    ASSERT_EQ(cells.size(), 5u) << line;
    const auto unquoted = [](std::string cell) {
      cell = cell.substr(1, cell.size() - 2);  // the spaces around
      return cell.size() >= 2 && cell.front() == '`' ? cell.substr(1, cell.size() - 2) : cell;
    };
    fromTable.push_back({unquoted(cells[0]).substr(2), unquoted(cells[2]), unquoted(cells[3])});
  }
  std::istringstream help(HelpText());
  for (std::string line; std::getline(help, line);) {
    if (!line.starts_with("  --") || line.starts_with("  --help ")) continue;
    const std::size_t nameEnd = line.find(' ', 4);
    Listed listed{line.substr(4, nameEnd - 4), "", line.substr(line.find_first_not_of(' ', nameEnd))};
    if (listed.help.ends_with("]")) {
      const std::size_t open = listed.help.rfind(" [");
      listed.defaultValue = listed.help.substr(open + 2, listed.help.size() - open - 3);
      listed.help.resize(open);
    }
    fromHelp.push_back(listed);
  }
  ASSERT_GE(fromHelp.size(), 20u);
  ASSERT_EQ(fromTable.size(), fromHelp.size());
  for (std::size_t i = 0; i < fromHelp.size(); ++i) {
    EXPECT_EQ(fromTable[i].name, fromHelp[i].name) << i;
    EXPECT_EQ(fromTable[i].defaultValue, fromHelp[i].defaultValue) << fromHelp[i].name;
    EXPECT_EQ(fromTable[i].help, fromHelp[i].help) << fromHelp[i].name;
  }
}

}  // namespace
}  // namespace snipora::service
