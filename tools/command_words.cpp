#include "tools/command_words.h"

#include <algorithm>
#include <cstdio>

namespace ravelin::tools {
namespace {

// Edits (insertion, deletion, substitution, swap of neighbours) from a to b.
std::size_t edit_distance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

std::vector<std::string> subcommand_names(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) names.push_back(sub->get_name());
  return names;
}

CLI::App* find_subcommand(CLI::App& app, std::string_view word) {
  for (CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
    if (sub->get_name() == word) return sub;
  return nullptr;
}

std::string joined(const std::vector<std::string>& words) {
  std::string out;
  for (const auto& w : words) out += (out.empty() ? "" : ", ") + w;
  return out;
}

// "ravelin-bake dat" for the subcommand `dat`.
std::string command_path(const CLI::App& app) {
  if (app.get_parent() == nullptr) return "ravelin-bake";
  return command_path(*app.get_parent()) + " " + app.get_name();
}

int usage_error(const std::string& text) {
  std::fprintf(stderr, "error: %s\n", text.c_str());
  return 2;
}

int unknown_command(const CLI::App& at, std::string_view word) {
  const auto names = subcommand_names(at);
  std::string text = "unknown command '" + std::string(word) + "' for " + command_path(at);
  if (const auto near = nearest_word(word, names)) text += " (did you mean '" + *near + "'?)";
  return usage_error(text + "; commands: " + joined(names));
}

int unknown_option(const CLI::App& at, std::string_view word) {
  // The short spellings other programs use for the version.
  const std::vector<std::string> options = {"--help", "--version"};
  std::string text = "unknown option '" + std::string(word) + "' for " + command_path(at);
  std::optional<std::string> near = (word == "-V" || word == "-v") ? std::optional<std::string>("--version")
                                                                    : nearest_word(word, options);
  if (near) text += " (did you mean '" + *near + "'?)";
  return usage_error(text + "; give a command first: " + joined(subcommand_names(at)));
}

bool is_help_or_version(std::string_view word) { return word == "-h" || word == "--help" || word == "--version"; }

}  // namespace

void add_version_flags(CLI::App& app, const std::string& text) {
  app.set_version_flag("--version", text);
  for (CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) add_version_flags(*sub, text);
}

std::optional<std::string> nearest_word(std::string_view word, const std::vector<std::string>& choices) {
  const std::size_t allowed = std::max<std::size_t>(1, word.size() / 3);
  std::optional<std::string> best;
  std::size_t best_distance = allowed + 1;
  for (const auto& choice : choices) {
    const std::size_t d = edit_distance(word, choice);
    if (d < best_distance) {
      best_distance = d;
      best = choice;
    }
  }
  return best;
}

std::optional<int> check_command_words(CLI::App& app, int argc, const char* const* argv) {
  CLI::App* current = &app;
  bool help = false;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string_view word = argv[i];
    if (current->get_subcommands([](const CLI::App*) { return true; }).empty()) break;
    if (word == "help" && !help) {
      help = true;
      continue;
    }
    if (word.starts_with("-")) {
      if (help || is_help_or_version(word) || current != &app) return std::nullopt;
      return unknown_option(*current, word);
    }
    CLI::App* sub = find_subcommand(*current, word);
    if (sub == nullptr) return unknown_command(*current, word);
    current = sub;
  }
  if (help) {
    // The usage line names the whole command, as `ravelin-bake dat --help` does.
    const std::string parents = current->get_parent() ? command_path(*current->get_parent()) : "";
    std::fputs(current->help(parents).c_str(), stdout);
    return 0;
  }
  if (i >= argc && current->get_require_subcommand_min() > 0)
    return usage_error(command_path(*current) + " needs a command: " + joined(subcommand_names(*current)) +
                       " (" + command_path(*current) + " --help tells more)");
  return std::nullopt;
}

}  // namespace ravelin::tools
