// bake-all --db: every landblock's rows added in bake order, the run's inputs
// and both archives' headers as the meta rows, the placed setups' records at
// the end. The database takes its name only when the run is complete; an
// interrupted or failed run leaves an earlier database as it was.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ravelin/event_bake/session.h"
#include "tools/bake_all/outcome.h"
#include "tools/world_db.h"

namespace ravelin::tools {

// What the meta rows record of the run besides the archives.
struct DatabaseRun {
  common::Path path;        // the database file
  common::Path dat_dir;
  common::Path spawns_dir;  // empty with the LandblockInfo source
  common::Path setup_table;
  std::vector<std::string> landblocks;  // as given; empty for all
};

class DatabaseSink final : public BakeAllSink {
 public:
  DatabaseSink(const event_bake::BakeSession& session, DatabaseRun run);

  common::SinkResult open() override;
  // Lists the landblock's objects and measures its manifest when no sink wrote it.
  common::SinkResult prepare(LandblockOutcome& outcome) override;
  common::SinkResult add(const LandblockOutcome& outcome) override;
  common::SinkResult finish(const common::JobEnd& end) override;
  void abandon() override { db_.reset(); }
  std::string note(const common::JobEnd& end) const override;

  // The meta table's rows: the tool, the inputs and both archives' headers.
  std::vector<std::pair<std::string, std::string>> meta_rows() const;

 private:
  const event_bake::BakeSession& session_;
  DatabaseRun run_;
  std::size_t sky_bytes_ = 0;  // of the session's sky lines in a manifest
  std::unique_ptr<WorldDb> db_;
  std::set<std::uint32_t> placed_setups_;  // ascending, for the setups table
};

}  // namespace ravelin::tools
