// `ravelin-bake dat edit ARCHIVE ID`: the record's `dat show` document in a
// private temporary directory, opened in the user's text editor; when the
// editor exits, a changed and valid document is put back in one commit (the
// entry keeps its compression and fields), an invalid one offers to edit
// again, an unchanged one writes nothing. The archive stays open for changing
// the whole time, so no other editor changes it meanwhile.
#include "tools/dat_record_edit_command.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ravelin/common/file_system.h"
#include "ravelin/common/id_text.h"
#include "ravelin/common/temporary_directory.h"
#include "ravelin/dat/archive_editor.h"
#include "ravelin/dat/record_put.h"
#include "tools/dat_edit_commands.h"

namespace ravelin::tools {
namespace {

struct RecordEditArgs {
  std::string archive;
  std::string id_text;
};

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void note_signal(int signal) {
  int none = 0;
  g_signal.compare_exchange_strong(none, signal);
}

// While one lives, SIGINT, SIGTERM and SIGHUP are noted instead of ending the
// process, so that the temporary directory is removed first: a read of the
// answer is interrupted (no SA_RESTART), a wait for the editor carries on until
// it exits. The editor gets the default actions back when it starts.
class SignalsNoted {
 public:
  SignalsNoted() {
    g_signal = 0;
    struct sigaction action = {};
    action.sa_handler = note_signal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
      sigaction(kSignals[i], &action, &previous_[i]);
      // A signal ignored by whoever started us stays ignored.
      if (previous_[i].sa_handler == SIG_IGN) sigaction(kSignals[i], &previous_[i], nullptr);
    }
  }
  ~SignalsNoted() {
    for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &previous_[i], nullptr);
  }
  SignalsNoted(const SignalsNoted&) = delete;
  SignalsNoted& operator=(const SignalsNoted&) = delete;

  static int noted() { return g_signal.load(); }

 private:
  static constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};
  std::array<struct sigaction, 3> previous_{};
};

// $VISUAL, else $EDITOR, else vi: a shell command, so "code --wait" works.
std::string editor_command() {
  for (const char* name : {"VISUAL", "EDITOR"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return "vi";
}

std::string shell_quoted(std::string_view text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs the editor on `file` through the shell and waits for it; the error
// says how it ended when it did not exit 0.
std::optional<std::string> run_editor(const std::string& command, const common::Path& file) {
  std::fflush(stdout);
  std::fflush(stderr);
  // system() ignores SIGINT and SIGQUIT while the editor runs, which leaves
  // Ctrl-C to the editor.
  const int status = std::system((command + " " + shell_quoted(file.string())).c_str());
  if (status == -1) return "cannot run the editor `" + command + "`";
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::nullopt;
  const std::string editor = "the editor `" + command + "`";
  if (WIFEXITED(status)) return editor + " exited with status " + std::to_string(WEXITSTATUS(status));
  return editor + " ended by signal " + std::to_string(WTERMSIG(status));
}

common::FileResult<void> write_document(common::FileSystem& fs, const common::Path& file, std::string_view text) {
  auto created = fs.create(file, common::CreateMode::Exclusive);
  if (!created) return std::unexpected(common::FileError{"create", file, created.error()});
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  if (auto written = (*created)->write_at(0, bytes); !written)
    return std::unexpected(common::FileError{"write", file, written.error()});
  return {};
}

// "Edit again? [Y/n] " on standard error; the answer is a line of standard
// input. Anything but n or no edits again; the end of the input, or a
// signal, gives up.
bool edit_again() {
  std::fputs("Edit again? [Y/n] ", stderr);
  std::fflush(stderr);
  std::string line;
  for (;;) {
    const int c = std::fgetc(stdin);
    if (c == EOF) {
      std::fputc('\n', stderr);
      return false;
    }
    if (c == '\n') break;
    line += static_cast<char>(c);
  }
  // An answer from a pipe is not echoed by a terminal: the log shows it.
  if (isatty(STDIN_FILENO) != 1) std::fprintf(stderr, "%s\n", line.c_str());
  const auto first = line.find_first_not_of(" \t\r");
  const std::string answer =
      first == std::string::npos ? "" : line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
  return !(answer == "n" || answer == "N" || answer == "no" || answer == "No" || answer == "NO");
}

int interrupted(int signal) {
  std::fprintf(stderr, "error: interrupted (signal %d): nothing was written\n", signal);
  return 128 + signal;
}

int run_edit(const RecordEditArgs& args) {
  const std::uint32_t id = parse_u32(args.id_text).value_or(0);  // checked while parsing
  const std::string record = common::hex_id(id) + " in " + common::display_path(args.archive);
  common::FileSystem& fs = common::default_file_system();
  auto editor = dat::ArchiveEditor::open(args.archive);
  if (!editor) return fail(editor.error().to_string());
  // An absent id, one that is no record or a record that does not decode
  // fails before the editor starts.
  auto document = dat::pending_record_json(*editor, id, false);
  if (!document) return fail(document.error().to_string());
  document->push_back('\n');
  auto stored = dat::pending_file_bytes(*editor, id);
  if (!stored) return fail(stored.error().to_string());

  const SignalsNoted signals;
  auto dir = common::TemporaryDirectory::create("ravelin-edit-", fs);
  if (!dir) return fail(dir.error().to_string());
  const common::Path file = common::join_path(dir->path(), common::hex_id(id) + ".json");
  if (auto written = write_document(fs, file, *document); !written) return fail(written.error().to_string());
  const std::string command = editor_command();
  for (;;) {
    const auto problem = run_editor(command, file);
    if (const int signal = SignalsNoted::noted()) return interrupted(signal);
    if (problem) return fail(*problem + ": nothing was written");
    auto text = fs.read_whole(file);
    if (!text) return fail(common::FileError{"read", file, text.error()}.to_string());
    const std::string_view json(reinterpret_cast<const char*>(text->data()), text->size());
    // An unsaved file, or one whose record encodes to the bytes stored
    // (a change of layout only), is no change.
    std::optional<std::vector<std::uint8_t>> bytes;
    if (json != *document) {
      auto encoded = dat::encode_record_for(args.archive, id, json);
      if (!encoded) {
        std::fprintf(stderr, "error: %s\n", encoded.error().to_string().c_str());
        const bool again = edit_again();
        if (const int signal = SignalsNoted::noted()) return interrupted(signal);
        if (again) continue;
        std::fprintf(stderr, "gave up: %s was not written\n", record.c_str());
        return 1;
      }
      bytes = std::move(*encoded);
    }
    if (!bytes || *bytes == *stored) {
      std::fprintf(stderr, "%s is unchanged: nothing was written\n", record.c_str());
      return 0;
    }
    if (auto put = dat::put_record_json(*editor, id, json); !put) return fail(put.error().to_string());
    auto stats = editor->commit();
    if (!stats) return fail(stats.error().to_string());
    std::fprintf(stderr, "%s\n", put_summary(args.archive, 1, 0, *stats).c_str());
    return 0;
  }
}

}  // namespace

void add_dat_record_edit_command(CLI::App& dat, Action& action) {
  auto args = std::make_shared<RecordEditArgs>();
  auto* edit = dat.add_subcommand(
      "edit",
      "Edit record ID as its JSON document in $VISUAL, else $EDITOR, else vi; a changed, valid document is put "
      "back in one commit (the entry keeps its compression and fields)");
  edit->add_option("ARCHIVE", args->archive, "Archive file")->required();
  edit->add_option("ID", args->id_text, "Record id, 0x hexadecimal or decimal")
      ->required()
      ->check(u32_validator("file id"));
  edit->callback([args, &action] { action = [args] { return run_edit(*args); }; });
}

}  // namespace ravelin::tools
