#include "usage.h"

#include <iostream>
#include <utility>

namespace tabulo::app {
namespace {

constexpr std::pair<std::string_view, std::string_view> kUsages[] = {
    {"sample-db",
     "usage: tabulo sample-db PATH [--rows N] [--force]\n"
     "  writes the deterministic sample database (table Orders) to PATH\n"
     "  --rows N   records to write (default 1000)\n"
     "  --force    replace PATH when it exists\n"},
    {"strings", "usage: tabulo strings\n  prints the built-in string table (1031, 1033, 1036)\n"},
    {"show",
     "usage: tabulo show --db PATH --sql \"SELECT ...\" [--at N] [--size COLSxROWS]\n"
     "                   [--edit ROW,COL=TEXT]... [--answer yes|no|cancel|sign USER PASSWORD "
     "REASON]...\n"
     "                   [--password-file FILE] [--table NAME] [--log-event]\n"
     "                   [--ui-lang 1031|1033|1036] [--locale en-US|de-DE|fr-FR] [--host CONFIG]\n"
     "                   [--server-type 0|1 [--database NAME]]\n"
     "  shows one control in run mode and prints what its display shows\n"
     "  --server-type 0 (default): --db is an SQLite file or a data source name (configured,\n"
     "               or the ODBC driver manager's); 1: --db is a PostgreSQL server, a configured\n"
     "               connection or HOST[:PORT], and --database its database\n"
     "  --edit       edits a cell as an operator (ROW and COL from 0); exits 1 when an edit\n"
     "               is not written\n"
     "  --answer     answers the questions the edits raise, in order; a PASSWORD of - is read\n"
     "               from --password-file (a line per -) or asked for without echo\n"},
    {"browse",
     "usage: tabulo browse --db PATH --sql \"SELECT ...\" [--load CONTROL-FILE]\n"
     "                     [--ui-lang 1031|1033|1036] [--locale en-US|de-DE|fr-FR] [--host "
     "CONFIG]\n"
     "  browses one control full-screen at the terminal: arrows, PgUp/PgDn, Home/End and the\n"
     "  mouse wheel scroll; Enter or a click edits a cell (when updates are allowed); F5\n"
     "  refreshes; m or a right click opens the menu; q quits. --load alone browses a saved\n"
     "  control (--db and --sql then replace its own). Without a terminal it prints one\n"
     "  rendering, as show does\n"},
    {"serve",
     "usage: tabulo serve [--db PATH --sql \"SELECT ...\" | --load CONTROL-FILE]...\n"
     "                    [--bind ADDRESS] [--port N] [--token-file FILE] [--host CONFIG]\n"
     "                    [--public-name NAME]...\n"
     "                    [--ui-lang 1031|1033|1036] [--locale en-US|de-DE|fr-FR]\n"
     "                    [--design [--save FILE]]\n"
     "  serves the operator display in a browser: one control per --db/--sql pair or\n"
     "  --load, side by side; prints the address to open; Ctrl-C stops\n"
     "  --bind       the address to listen on (default 127.0.0.1); any other needs a token,\n"
     "               printed in the address or read from --token-file, and a --host\n"
     "               configuration naming real users\n"
     "  --port N     default 8080; 0 takes any free port\n"
     "  --token-file FILE  the token on its first line: letters, digits, - _ . ~ only, at\n"
     "               least 128 bits (32 hex digits; e.g. openssl rand -hex 32 > FILE); the\n"
     "               file must be private (chmod 600)\n"
     "  --public-name NAME  a further host name the display answers to (repeatable); it\n"
     "               answers to 127.0.0.1, localhost, [::1] and the bound address, and off\n"
     "               loopback to any IP address; pages under other names are refused (421)\n"
     "  --design     shows beside each control its property sheet (its pages as tabs, Apply,\n"
     "               Close) and in the page the dialogs the pages open\n"
     "  --save FILE  with one control: the sheet's Save button writes its control file there,\n"
     "               as tabulo design does\n"},
    {"script",
     "usage: tabulo script FILE|- [--host CONFIG] [--locale en-US|de-DE|fr-FR] "
     "[--ui-lang 1031|1033|1036]\n"
     "  replays a session written in the script language\n"},
    {"design",
     "usage: tabulo design --db PATH [--sql \"SELECT ...\"] [--load FILE] --save FILE\n"
     "                     [--host CONFIG]\n"
     "  runs a designer's session on the property pages from standard input (the script\n"
     "  language with page, fill, choose, check, press, apply, ...), rendering after each\n"
     "  command, and saves the control to FILE\n"
     "  --sql        the control's statement to start from; the control connects to its data\n"
     "               server (which the data source page lists through) only with one\n"},
    {"export",
     "usage: tabulo export --db PATH --sql \"SELECT ...\" [--format csv|json] [--out FILE]\n"
     "                     [--host CONFIG]\n"
     "  writes the result of a query as CSV or JSON lines\n"
     "  --format     csv (RFC 4180, a header row; the default) or json (an object per line)\n"
     "  the exact row count goes to standard error at the end\n"
     "  --out FILE   replaces FILE once the whole result is written (default: standard output)\n"},
    {"hash-password",
     "usage: tabulo hash-password [--iterations N] < password\n"
     "  hashes the password read from standard input for the host configuration\n"},
    {"audit",
     "usage: tabulo audit [--since TIME] [--until TIME] [--user NAME] [--format csv|json]\n"
     "                    [--host CONFIG]\n"
     "       tabulo audit --verify [--host CONFIG]\n"
     "  lists the operator events of the audit database, oldest first\n"
     "  --verify checks the chain of record hashes: prints one line and exits 0 when the\n"
     "  trail is whole, or names the first record changed or missing and exits 1\n"
     "  TIME is UTC: yyyy-mm-dd[Thh:mm[:ss[.fff]]]; --until includes the whole of its last\n"
     "  unit (--until 2026-12-07 takes that day); --user matches the operator or a signer\n"},
    {"register",
     "usage: tabulo register [--registry FILE] [--library PATH]\n"
     "  registers the classes of libtabulo.so\n"},
    {"unregister",
     "usage: tabulo unregister [--registry FILE] [--library PATH]\n"
     "  removes the classes of libtabulo.so from the registry\n"},
};

}  // namespace

std::string UsageText(std::string_view command) {
  for (const auto& [name, text] : kUsages)
    if (name == command) return std::string(text);
  std::string text =
      "usage: tabulo COMMAND [ARGS]   (tabulo COMMAND --help for its options)\n"
      "       tabulo --version\n"
      "commands:\n";
  for (const auto& [name, usage] : kUsages) {
    // The first indented line of the usage describes the command.
    size_t start = 0;
    while ((start = usage.find("\n  ", start)) != std::string_view::npos && usage[start + 3] == ' ')
      ++start;
    const size_t end = usage.find('\n', start + 1);
    std::string padded(name);
    padded.resize(15, ' ');
    text += "  " + padded + std::string(usage.substr(start + 3, end - start - 3)) + "\n";
  }
  return text;
}

bool HelpAsked(std::string_view command, const Args& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      std::cout << UsageText(command);
      return true;
    }
  }
  return false;
}

int UsageError(std::string_view command, const std::string& message) {
  std::cerr << "tabulo " << command << ": " << message << " (see 'tabulo " << command
            << " --help')\n";
  return kExitUsage;
}

}  // namespace tabulo::app
