#include "usage.h"

#include <iostream>
#include <sstream>
#include <utility>
#include <vector>

namespace tabulo::app {
namespace {

// The option that sets the control's properties, in the usage of every command that has it.
#define SET_HELP                                                                              \
  "  --set PROPERTY=VALUE  lets a property of the control before it loads (repeatable), as\n" \
  "               a script's let does: --set AllowUpdates=true --set ConfirmUpdates=true\n"   \
  "               (a VALUE in no script form is taken as text: --set DataTable=Orders)\n"

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
     "                   [--server-type 0|1 [--database NAME]] [--set PROPERTY=VALUE]...\n"
     "  shows one control in run mode and prints what its display shows\n"
     "  --server-type 0 (default): --db is an SQLite file or a data source name (configured,\n"
     "               or the ODBC driver manager's); 1: --db is a PostgreSQL server, a configured\n"
     "               connection or HOST[:PORT], and --database its database\n"
     "  --edit       edits a cell as an operator (ROW and COL from 0); exits 1 when an edit\n"
     "               is not written\n"
     "  --answer     answers the questions the edits raise, in order; a PASSWORD of - is read\n"
     "               from --password-file (a line per -) or asked for without echo\n" SET_HELP},
    {"browse",
     "usage: tabulo browse --db PATH --sql \"SELECT ...\" [--load CONTROL-FILE]\n"
     "                     [--ui-lang 1031|1033|1036] [--locale en-US|de-DE|fr-FR] [--host "
     "CONFIG]\n"
     "                     [--set PROPERTY=VALUE]...\n"
     "  browses one control full-screen at the terminal: arrows, PgUp/PgDn, Home/End and the\n"
     "  mouse wheel scroll; Enter or a click edits a cell (when updates are allowed); F5\n"
     "  refreshes; m or a right click opens the menu; q quits. --load alone browses a saved\n"
     "  control (--db and --sql then replace its own). Without a terminal it prints one\n"
     "  rendering, as show does\n" SET_HELP},
    {"serve",
     "usage: tabulo serve [--db PATH --sql \"SELECT ...\" | --load CONTROL-FILE]...\n"
     "                    [--bind ADDRESS] [--port N] [--token-file FILE] [--host CONFIG]\n"
     "                    [--public-name NAME[:PORT]]... [--sign-in] [--max-sessions N]\n"
     "                    [--idle-timeout DURATION]\n"
     "                    [--ui-lang 1031|1033|1036] [--locale en-US|de-DE|fr-FR]\n"
     "                    [--design [--save FILE]] [--set PROPERTY=VALUE]...\n"
     "  serves the operator display in a browser: one control per --db/--sql pair or per\n"
     "  control file, side by side; prints the address to open; Ctrl-C stops\n"
     "  --bind       the address to listen on (default 127.0.0.1); any other needs a token,\n"
     "               printed in the address or read from --token-file, and a --host\n"
     "               configuration naming real users; its pages sign in first\n"
     "  --sign-in    pages sign in (a user of the host configuration) also on loopback; the\n"
     "               audit names the signed-in user as operator; Sign out ends the session\n"
     "  --max-sessions N  every page is its own operator's session (its own editor,\n"
     "               dialogs and scroll position): at most N at once (default 16)\n"
     "  --idle-timeout DURATION  a session without input this long ends, an open edit\n"
     "               abandoned, nothing written (default 30min; e.g. 90s, 30min, 2h)\n"
     "  --port N     default 8080; 0 takes any free port\n"
     "  --token-file FILE  the token on its first line: letters, digits, - _ . ~ only, at\n"
     "               least 128 bits (32 hex digits; e.g. openssl rand -hex 32 > FILE); the\n"
     "               file must be private (chmod 600). Without it, the token is the\n"
     "               credential \"token\" of a systemd service ($CREDENTIALS_DIRECTORY)\n"
     "  --public-name NAME[:PORT]  a further host name the display answers to (repeatable),\n"
     "               on its own port or on PORT (a proxy's in front of it); it answers to\n"
     "               127.0.0.1, localhost, [::1] and the bound address, and off loopback to\n"
     "               any IP address; pages under other names are refused (421)\n"
     "  --design     shows beside each control its property sheet (its pages as tabs, Apply,\n"
     "               Close) and in the page the dialogs the pages open\n"
     "  --save FILE  with one control: the sheet's Save button writes its control file there,\n"
     "               as tabulo design does\n" SET_HELP},
    {"script",
     "usage: tabulo script FILE|- [--host CONFIG] [--locale en-US|de-DE|fr-FR] "
     "[--ui-lang 1031|1033|1036]\n"
     "  replays a session written in the script language\n"},
    {"design",
     "usage: tabulo design --db PATH [--sql \"SELECT ...\"] [--load FILE] --save FILE\n"
     "                     [--host CONFIG] [--layout]\n"
     "  at a terminal, the property pages worked by keys: Tab, Alt+key, Space, Enter,\n"
     "  Ctrl+PgDn/Ctrl+PgUp (F8/F7) change the page, Ctrl+A applies, Ctrl+S saves to FILE,\n"
     "  Ctrl+Q quits (asking to save what changed); with standard input not a terminal, a\n"
     "  designer's session read from it (the script language with page, fill, choose,\n"
     "  check, press, apply, ...), rendering after each command, saved to FILE at its end\n"
     "  --sql        the control's statement to start from; the control connects to its data\n"
     "               server (which the data source page lists through) only with one\n"
     "  --layout     draws each page and dialog as laid out on its form, access keys\n"
     "               underlined on a terminal; `key Alt+X` presses, ticks or focuses the\n"
     "               widget whose access key X is\n"},
    {"export",
     "usage: tabulo export --db PATH --sql \"SELECT ...\" [--format csv|json] [--out FILE]\n"
     "                     [--host CONFIG] [--server-type 0|1 [--database NAME]]\n"
     "  writes the result of a query as CSV or JSON lines, in one pass as it is read\n"
     "  --format     csv (RFC 4180, a header row; the default) or json (an object per line)\n"
     "  --server-type, --database: as for show\n"
     "  whole numbers are written with all their digits; in CSV an empty text is \"\" and\n"
     "  NULL an empty field\n"
     "  the exact row count goes to standard error at the end\n"
     "  --out FILE   replaces FILE once the whole result is written (default: standard output)\n"
     "  binary (BLOB) columns: in CSV the header names the column \"NAME (hex)\" and a value\n"
     "  is 0x and two hex digits a byte (0x alone: empty; an empty field: NULL); in JSON the\n"
     "  key is \"NAME (base64)\" and a value standard base64 (\"\": empty; null: NULL)\n"},
    {"hash-password",
     "usage: tabulo hash-password [--iterations N] < password\n"
     "  hashes the password read from standard input for the host configuration\n"},
    {"audit",
     "usage: tabulo audit [--since TIME] [--until TIME] [--user NAME] [--format csv|json]\n"
     "                    [--host CONFIG]\n"
     "       tabulo audit --verify [--anchor FILE] [--host CONFIG]\n"
     "  lists the operator events of the audit database, oldest first\n"
     "  --verify checks the chain of record hashes: prints one line and exits 0 when the\n"
     "  trail is whole, or names the first record changed or missing and exits 1; a trail\n"
     "  signed with an audit key needs the configuration's \"audit_key_file\"\n"
     "  --anchor FILE also checks that the head kept in FILE is still in the trail (records\n"
     "  cut off below it are named), then moves FILE to the current head (FILE is created\n"
     "  when missing); keep FILE where the audit database's writers cannot change it\n"
     "  TIME is UTC: yyyy-mm-dd[Thh:mm[:ss[.fff]]]; --until includes the whole of its last\n"
     "  unit (--until 2026-12-07 takes that day); --user matches the operator or a signer\n"},
    {"register",
     "usage: tabulo register [--registry FILE] [--library PATH]\n"
     "  registers the classes of libtabulo.so\n"},
    {"unregister",
     "usage: tabulo unregister [--registry FILE] [--library PATH]\n"
     "  removes the classes of libtabulo.so from the registry\n"},
};

constexpr size_t kHelpWidth = 79;

// The words of a command's description: its lines indented by two blanks after the synopsis,
// before the first line of an option ("  --").
std::vector<std::string> DescriptionWords(std::string_view usage) {
  std::vector<std::string> words;
  bool started = false;
  size_t start = 0;
  while (start < usage.size()) {
    size_t end = usage.find('\n', start);
    if (end == std::string_view::npos) end = usage.size();
    const std::string_view line = usage.substr(start, end - start);
    start = end + 1;
    const bool description =
        line.size() > 2 && line.substr(0, 2) == "  " && line[2] != ' ' && line.substr(2, 2) != "--";
    if (!description) {
      if (started) break;
      continue;
    }
    started = true;
    std::istringstream in{std::string(line)};
    for (std::string word; in >> word;) words.push_back(word);
  }
  return words;
}

}  // namespace

std::string UsageText(std::string_view command) {
  for (const auto& [name, text] : kUsages)
    if (name == command) return std::string(text);
  std::string text =
      "usage: tabulo COMMAND [ARGS]   (tabulo COMMAND --help for its options)\n"
      "       tabulo --version\n"
      "commands:\n";
  for (const auto& [name, usage] : kUsages) {
    std::string padded(name);
    padded.resize(15, ' ');
    text += "  " + padded;
    // The description: the indented lines after the synopsis up to the first option, whole,
    // wrapped to the width of a terminal under the command's name.
    size_t column = 17;
    bool first = true;
    for (const std::string& word : DescriptionWords(usage)) {
      if (!first && column + 1 + word.size() > kHelpWidth) {
        text += "\n" + std::string(17, ' ');
        column = 17;
      } else if (!first) {
        text += ' ';
        ++column;
      }
      text += word;
      column += word.size();
      first = false;
    }
    text += "\n";
  }
  return text;
}

std::vector<std::string_view> CommandNames() {
  std::vector<std::string_view> names;
  for (const auto& usage : kUsages) names.push_back(usage.first);
  return names;
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
