// The command words of ravelin-bake (`bake`, `dat show`, ...) checked before
// CLI11 parses them, so that a mistyped or missing word is named, with the
// nearest real one, instead of CLI11's "A subcommand is required".
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ravelin::tools {

// `--version` on the program and on every subcommand, printing `text`.
void add_version_flags(CLI::App& app, const std::string& text);

// Walks the command words of argv down the subcommand tree. `help [WORDS]`
// prints the help of WORDS (exit 0). An unknown word where a subcommand is
// expected, or an unknown option before any subcommand, prints one "error:"
// line naming it, the nearest known word when one is close, and the choices,
// and gives exit status 2. Nothing (parse normally) otherwise.
std::optional<int> check_command_words(CLI::App& app, int argc, const char* const* argv);

// Among `choices`, the one nearest `word` by edit distance, if it is near
// enough to be a likely typo (at most a third of the word's length, at least 1).
std::optional<std::string> nearest_word(std::string_view word, const std::vector<std::string>& choices);

}  // namespace ravelin::tools
