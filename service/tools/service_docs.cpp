// Writes the documents that must agree with the option table: the manual
// page snipora-service(1), the configuration file the package installs, and
// the table of options in docs/operating.md (a test keeps it equal).
//   snipora-service-docs man
//   snipora-service-docs conf [NAME=VALUE]...   (those set, the rest commented at their defaults)
//   snipora-service-docs markdown
#include <cstdio>
#include <map>
#include <string>
#include <string_view>

#include "service/base/settings.h"

using namespace snipora::service;

namespace {

// Text as roff reads it: backslashes doubled, hyphens as hyphens, and no
// line may begin with a control character.
std::string Roff(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else out += c;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

// The help text wrapped for a configuration file's comments.
std::string Comment(std::string_view text) {
  std::string out, line = "#";
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view word = text.substr(start, end - start);
    if (line.size() + 1 + word.size() > 78 && line.size() > 1) {
      out += line + "\n";
      line = "#";
    }
    line += " ";
    line += word;
    start = end + 1;
  }
  return out + line + "\n";
}

void Man() {
  std::string page =
      ".TH SNIPORA\\-SERVICE 1 \"\" \"snipora\" \"User Commands\"\n"
      ".SH NAME\n"
      "snipora\\-service \\- URL\\-shortening service for the Snipora desktop program and browsers\n"
      ".SH SYNOPSIS\n"
      ".B snipora\\-service\n"
      "[\\fB\\-\\-config\\fR \\fIFILE\\fR] [\\fB\\-\\-\\fIOPTION\\fR \\fIVALUE\\fR]...\n"
      ".br\n"
      ".B snipora\\-service copy\n"
      "\\fB\\-\\-from\\fR \\fISTORE\\fR \\fB\\-\\-to\\fR \\fISTORE\\fR\n"
      ".br\n"
      ".B snipora\\-service export\n"
      "[\\fB\\-\\-config\\fR \\fIFILE\\fR] [\\fB\\-\\-database\\fR \\fISTORE\\fR] [\\fB\\-\\-output\\fR \\fIFILE\\fR]\n"
      ".br\n"
      ".B snipora\\-service import\n"
      "[\\fB\\-\\-config\\fR \\fIFILE\\fR] [\\fB\\-\\-database\\fR \\fISTORE\\fR] [\\fB\\-\\-input\\fR \\fIFILE\\fR]\n"
      ".SH DESCRIPTION\n"
      "\\fBsnipora\\-service\\fR turns long web addresses into short ones and redirects the short ones.\n"
      "The Snipora desktop program asks \\fBGET /create.php?url=\\fIADDRESS\\fR;\n"
      "browsers use the form at \\fB/\\fR; programs use the JSON API at \\fB/api/v1/links\\fR.\n"
      "\\fBGET /\\fICODE\\fR answers a redirect to the long address.\n"
      "The links are kept in an SQLite file or a PostgreSQL database; several instances may share one\n"
      "PostgreSQL database.\n"
      ".PP\n"
      "With \\fB\\-\\-client\\-package\\fR, \\fBGET /download/\\fINAME\\fR hands out the Windows program\n"
      "with a \\fBSnipora.ini\\fR that points it at this service's public host.\n"
      ".SH OPTIONS\n"
      "Each option of the service may also be written in the \\fB\\-\\-config\\fR file as\n"
      "\\fINAME\\fR \\fB=\\fR \\fIVALUE\\fR, one a line, with \\fB#\\fR comment lines;\n"
      "the command line wins over the file. An unknown name or a bad value in the file stops the start\n"
      "with the file, the line and the option named.\n";
  for (const OptionDoc& option : DescribeOptions()) {
    if (!option.inConfigFile && option.name != "config") continue;
    page += ".TP\n\\fB\\-\\-" + Roff(option.name) + "\\fR \\fI" + Roff(option.argument) + "\\fR\n" + Roff(option.help);
    if (option.name != "config")
      page += " (default: " + Roff(option.defaultValue.empty() ? "none" : option.defaultValue) + ")";
    if (!option.commands.empty() && option.name != "config")
      page += "; also taken by " + Roff(option.commands);
    page += ".\n";
  }
  page += ".SH COMMANDS\n";
  for (const OptionDoc& option : DescribeOptions()) {
    if (option.inConfigFile || option.name == "config") continue;
    page += ".TP\n\\fB\\-\\-" + Roff(option.name) + "\\fR \\fI" + Roff(option.argument) + "\\fR\n" + Roff(option.help);
    if (!option.defaultValue.empty()) page += " (default: " + Roff(option.defaultValue) + ")";
    page += ".\n";
  }
  page += ".PP\n.nf\n" + Roff(kCommandsHelp) + ".fi\n";
  page +=
      ".SH SIGNALS\n"
      "\\fBSIGHUP\\fR reads the deny list again. \\fBSIGTERM\\fR and \\fBSIGINT\\fR stop accepting connections,\n"
      "answer the requests in flight and those still arriving on open connections for up to\n"
      "\\fB\\-\\-stop\\-timeout\\fR seconds, commit the queued creations and write the counted clicks.\n"
      ".SH FILES\n"
      ".TP\n.I /etc/snipora/snipora\\-service.conf\n"
      "The configuration file the packaged unit starts the service with.\n"
      ".TP\n.I /var/lib/snipora/links.db\n"
      "The links, with the packaged configuration.\n"
      ".TP\n.I /usr/share/snipora/Snipora\\-win32.zip\n"
      "The Windows program handed out at \\fB/download/\\fR.\n"
      ".SH EXIT STATUS\n"
      "0 when stopped by a signal or when a command did all it was asked; 1 when the service could not\n"
      "start or a command failed or skipped links; 2 for a wrong command line or configuration file.\n";
  std::fputs(page.c_str(), stdout);
}

// Text in a cell of a Markdown table: a "|" would end the cell.
std::string Cell(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '|') out += '\\';
    out += c;
  }
  return out;
}

// The service's options as --help lists them, one row each.
void Markdown() {
  std::string table = "| option | value | default | meaning |\n|---|---|---|---|\n";
  for (const OptionDoc& option : DescribeOptions()) {
    if (!option.inConfigFile && option.name != "config") continue;
    const std::string fallback = option.name == "config" ? "" : "none";
    const std::string given = option.defaultValue.empty() ? fallback : "`" + Cell(option.defaultValue) + "`";
    table += "| `--" + option.name + "` | `" + Cell(option.argument) + "` | " + given + " | " + Cell(option.help) +
             " |\n";
  }
  std::fputs(table.c_str(), stdout);
}

int Conf(int argc, char** argv) {
  std::map<std::string, std::string> set;
  for (int i = 2; i < argc; ++i) {
    const std::string pair = argv[i];
    const std::size_t eq = pair.find('=');
    if (eq == std::string::npos) {
      std::fprintf(stderr, "snipora-service-docs conf: expected NAME=VALUE, not '%s'\n", argv[i]);
      return 2;
    }
    set[pair.substr(0, eq)] = pair.substr(eq + 1);
  }
  std::string file =
      "# snipora-service's configuration: one NAME = VALUE a line, # begins a comment line.\n"
      "# Every option is here at its default, commented out; the command line wins over\n"
      "# this file (see snipora-service(1) and snipora-service --help).\n";
  for (const OptionDoc& option : DescribeOptions()) {
    if (!option.inConfigFile) continue;
    file += "\n" + Comment(option.help);
    const auto given = set.find(option.name);
    if (given != set.end()) {
      file += option.name + " = " + given->second + "\n";
      set.erase(given);
    } else {
      file += "# " + option.name + " =" + (option.defaultValue.empty() ? "" : " " + option.defaultValue) + "\n";
    }
  }
  if (!set.empty()) {
    std::fprintf(stderr, "snipora-service-docs conf: no option '%s' in the configuration file\n",
                 set.begin()->first.c_str());
    return 2;
  }
  std::fputs(file.c_str(), stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "man") {
    Man();
    return 0;
  }
  if (what == "conf") return Conf(argc, argv);
  if (what == "markdown") {
    Markdown();
    return 0;
  }
  std::fputs("usage: snipora-service-docs man | conf [NAME=VALUE]... | markdown\n", stderr);
  return 2;
}
