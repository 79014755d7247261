#include "docs.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "usage.h"

namespace tabulo::app {
namespace {

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  std::istringstream in{std::string(text)};
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

size_t Indent(const std::string& line) {
  const size_t first = line.find_first_not_of(' ');
  return first == std::string::npos ? line.size() : first;
}

// A description or option line: two blanks, then text.
bool BodyLine(const std::string& line) {
  return Indent(line) == 2 && line.size() > 2;
}

bool IsOption(const std::string& line) {
  return BodyLine(line) && line.compare(2, 2, "--") == 0;
}

// The usage split into its synopsis (the lines before the first body line), its description
// (the body lines up to the first option) and the rest.
struct UsageParts {
  std::vector<std::string> synopsis, description, rest;
};

UsageParts SplitUsage(std::string_view command) {
  UsageParts parts;
  int part = 0;
  for (const std::string& line : Lines(UsageText(command))) {
    if (part == 0 && BodyLine(line)) part = 1;
    if (part == 1 && IsOption(line)) part = 2;
    (part == 0 ? parts.synopsis : part == 1 ? parts.description : parts.rest).push_back(line);
  }
  return parts;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    std::istringstream in(line);
    for (std::string word; in >> word;) text += (text.empty() ? "" : " ") + word;
  }
  return text;
}

std::string Strip(std::string token) {
  while (!token.empty() && token.front() == '[') token.erase(0, 1);
  while (!token.empty() && (token.back() == ']' || token.back() == '.')) token.pop_back();
  return token;
}

bool IsFilePlaceholder(const std::string& value) {
  return value == "PATH" || value == "FILE" || value == "CONFIG" || value == "CONTROL-FILE" ||
         value == "FILE|-";
}

OptionUsage ReadOption(const std::string& name, const std::string& raw_next, bool closed) {
  OptionUsage option{name, OptionUsage::Value::kNone, {}};
  const std::string next = Strip(raw_next);
  if (closed || next.empty() || next.front() == '-' || raw_next.front() == '[' || next == "|")
    return option;
  if (IsFilePlaceholder(next)) {
    option.value = OptionUsage::Value::kFile;
  } else if (next.find('|') != std::string::npos) {
    // Alternatives (csv|json, en-US|de-DE|fr-FR); one in capitals names a placeholder.
    option.value = OptionUsage::Value::kChoice;
    std::istringstream in(next);
    for (std::string choice; std::getline(in, choice, '|');) {
      if (std::none_of(choice.begin(), choice.end(), [](char c) { return std::islower(c); }) &&
          std::any_of(choice.begin(), choice.end(), [](char c) { return std::isupper(c); }))
        option.value = OptionUsage::Value::kText;
      option.choices.push_back(choice);
    }
    if (option.value == OptionUsage::Value::kText) option.choices.clear();
  } else {
    option.value = OptionUsage::Value::kText;
  }
  return option;
}

// roff: backslashes and minus signs escaped, a control character at the start of a line
// made text, leading blanks dropped (they would break the filled paragraph).
std::string Roff(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out.front() == '.' || out.front() == '\'')) out.insert(0, "\\&");
  return out;
}

std::string Trimmed(const std::string& line) {
  const size_t first = line.find_first_not_of(' ');
  return first == std::string::npos ? "" : line.substr(first);
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Header(const std::string& page, std::string_view version) {
  return ".TH " + Roff(Upper(page)) + " 1 \"\" \"tabulo " + std::string(version) +
         "\" \"User Commands\"\n.nh\n.ad l\n";
}

const char kExitStatus[] =
    ".SH EXIT STATUS\n"
    "0 success, 1 failure (the reason on standard error), 2 a usage error (a one\\-line hint "
    "naming the command's \\-\\-help).\n";

std::string ProgramPage(std::string_view version) {
  std::string page = Header("tabulo", version);
  page +=
      ".SH NAME\n"
      "tabulo \\- hosts the TabuloCtl grid control: shows, browses, serves, exports and audits "
      "an SQL SELECT\n"
      ".SH SYNOPSIS\n"
      ".nf\n"
      "tabulo COMMAND [ARGS]\n"
      "tabulo COMMAND \\-\\-help\n"
      "tabulo \\-\\-version\n"
      ".fi\n"
      ".SH DESCRIPTION\n"
      "tabulo is the container program of the Tabulo component library: it hosts the grid "
      "control TabuloCtl over an SQLite, PostgreSQL or ODBC data source, at the terminal or in "
      "a browser, and writes an operator's edits back with audited UPDATE statements. Each "
      "command has its own page, "
      "tabulo\\-COMMAND(1).\n"
      ".SH COMMANDS\n";
  for (std::string_view command : CommandNames()) {
    const UsageParts parts = SplitUsage(command);
    page += ".TP\n.B " + Roff(command) + "\n" + Roff(Joined(parts.description)) + " (tabulo\\-" +
            Roff(command) + "(1))\n";
  }
  page +=
      ".SH OPTIONS\n"
      ".TP\n.B \\-\\-help\nprints the commands; after a command, its options\n"
      ".TP\n.B \\-\\-version\nprints the program's version\n"
      ".SH ENVIRONMENT\n"
      ".TP\n.B XDG_STATE_HOME\n"
      "the audit database is $XDG_STATE_HOME/tabulo/audit.db (else "
      "~/.local/state/tabulo/audit.db) unless the host configuration names one\n"
      ".TP\n.B XDG_CONFIG_HOME, TABULO_REGISTRY\n"
      "the registry of component classes: $TABULO_REGISTRY, else "
      "$XDG_CONFIG_HOME/tabulo/registry.json, else ~/.config/tabulo/registry.json\n"
      ".TP\n.B CREDENTIALS_DIRECTORY\n"
      "serve reads its access token from the credential \"token\" there when no "
      "\\-\\-token\\-file is given (systemd's LoadCredential=)\n"
      ".SH FILES\n"
      ".TP\n.I /usr/share/tabulo\n"
      "the program's resource files\n"
      ".TP\n.I /etc/tabulo/NAME.conf\n"
      "the serve arguments of the display service tabulo\\-serve@NAME (TABULO_SERVE_ARGS=...); "
      "its token is /etc/tabulo/NAME.token\n";
  page += kExitStatus;
  page += ".SH SEE ALSO\n";
  bool first = true;
  for (std::string_view command : CommandNames()) {
    page += std::string(first ? "" : ",\n") + ".BR tabulo\\-" + Roff(command) + " (1)";
    first = false;
  }
  page += "\n";
  return page;
}

}  // namespace

CommandUsage DescribeCommand(std::string_view command) {
  const UsageParts parts = SplitUsage(command);
  CommandUsage usage;
  usage.name = command;
  usage.summary = Joined(parts.description);
  usage.summary = usage.summary.substr(0, usage.summary.find_first_of(":;"));
  std::vector<std::string> tokens;
  for (const std::string& line : parts.synopsis) {
    std::istringstream in(line);
    for (std::string token; in >> token;)
      if (token != "usage:" && token != "tabulo" && token != command) tokens.push_back(token);
  }
  if (!tokens.empty() && tokens[0].front() != '[' && IsFilePlaceholder(tokens[0]))
    usage.file_operand = true;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const std::string name = Strip(tokens[i]);
    if (name.rfind("--", 0) != 0) continue;
    const bool seen = std::any_of(usage.options.begin(), usage.options.end(),
                                  [&](const OptionUsage& o) { return o.name == name; });
    if (seen) continue;
    const bool closed = tokens[i].back() == ']' || tokens[i].back() == '.';
    usage.options.push_back(ReadOption(name, i + 1 < tokens.size() ? tokens[i + 1] : "", closed));
  }
  usage.options.push_back({"--help", OptionUsage::Value::kNone, {}});
  return usage;
}

std::string ManPage(std::string_view command, std::string_view version) {
  if (command.empty()) return ProgramPage(version);
  const UsageParts parts = SplitUsage(command);
  const std::string name = "tabulo-" + std::string(command);
  std::string page = Header(name, version);
  page += ".SH NAME\n" + Roff(name) + " \\- " + Roff(DescribeCommand(command).summary) + "\n";
  page += ".SH SYNOPSIS\n.nf\n";
  for (const std::string& line : parts.synopsis) {
    const std::string text = line.rfind("usage: ", 0) == 0 ? line.substr(7) : Trimmed(line);
    page += (Indent(line) > 7 ? "    " : "") + Roff(text) + "\n";
  }
  page += ".fi\n.SH DESCRIPTION\n" + Roff(Joined(parts.description)) + "\n";
  page += ".SH OPTIONS\n";
  // An option line "  --name ARG  text" is a tagged paragraph; other lines at two blanks
  // start a paragraph after an option or with a capital, and continue one otherwise; deeper
  // lines continue.
  bool in_option = false;
  for (const std::string& line : parts.rest) {
    const std::string text = Trimmed(line);
    if (text.empty()) continue;
    const size_t gap = text.find("  ");
    if (IsOption(line) && gap != std::string::npos) {
      page +=
          ".TP\n.B " + Roff(text.substr(0, gap)) + "\n" + Roff(Trimmed(text.substr(gap))) + "\n";
      in_option = true;
    } else if (BodyLine(line) &&
               (in_option || IsOption(line) || std::isupper(static_cast<unsigned char>(text[0])))) {
      page += ".PP\n" + Roff(text) + "\n";
      in_option = false;
    } else {
      page += Roff(text) + "\n";
    }
  }
  page += ".TP\n.B \\-\\-help\nprints this command's usage and exits\n";
  page += kExitStatus;
  page += ".SH SEE ALSO\n.BR tabulo (1)\n";
  return page;
}

std::string BashCompletion() {
  std::string commands;
  for (std::string_view command : CommandNames())
    commands += (commands.empty() ? "" : " ") + std::string(command);
  std::string script =
      "# bash completion for tabulo: commands, their options, option values and files.\n"
      "# Generated from the program's usage table; do not edit.\n"
      "_tabulo_files() {\n"
      "  compopt -o filenames 2>/dev/null\n"
      "  mapfile -t COMPREPLY < <(compgen -f -- \"$1\")\n"
      "}\n"
      "_tabulo_words() {\n"
      "  mapfile -t COMPREPLY < <(compgen -W \"$1\" -- \"$2\")\n"
      "}\n"
      "_tabulo() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
      "  COMPREPLY=()\n"
      "  if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
      "    _tabulo_words \"" +
      commands +
      " --help --version\" \"$cur\"\n"
      "    return\n"
      "  fi\n"
      "  local options= files=\n"
      "  case ${COMP_WORDS[1]} in\n";
  for (std::string_view command : CommandNames()) {
    const CommandUsage usage = DescribeCommand(command);
    std::string file_options, text_options, names;
    script += "    " + usage.name + ")\n      case $prev in\n";
    for (const OptionUsage& option : usage.options) {
      names += (names.empty() ? "" : " ") + option.name;
      if (option.value == OptionUsage::Value::kFile)
        file_options += (file_options.empty() ? "" : "|") + option.name;
      if (option.value == OptionUsage::Value::kText)
        text_options += (text_options.empty() ? "" : "|") + option.name;
      if (option.value == OptionUsage::Value::kChoice) {
        std::string choices;
        for (const std::string& c : option.choices) choices += (choices.empty() ? "" : " ") + c;
        script +=
            "        " + option.name + ") _tabulo_words \"" + choices + "\" \"$cur\"; return ;;\n";
      }
    }
    if (!file_options.empty())
      script += "        " + file_options + ") _tabulo_files \"$cur\"; return ;;\n";
    // A value typed freely: nothing to offer.
    if (!text_options.empty()) script += "        " + text_options + ") return ;;\n";
    script += "      esac\n      options=\"" + names + "\"";
    if (usage.file_operand) script += " files=1";
    script += " ;;\n";
  }
  script +=
      "    *) return ;;\n"
      "  esac\n"
      "  if [ -n \"$files\" ] && [[ $cur != -* ]]; then\n"
      "    _tabulo_files \"$cur\"\n"
      "  else\n"
      "    _tabulo_words \"$options\" \"$cur\"\n"
      "  fi\n"
      "}\n"
      "complete -F _tabulo tabulo\n";
  return script;
}

}  // namespace tabulo::app
