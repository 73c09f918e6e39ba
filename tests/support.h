// Shared test support: recorded message boxes, and the store targets that the conformance
// tests run on (the embedded store always; more when their servers and drivers are present).
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "store/message_box.h"

namespace quorvel::test {

struct Box {
    std::u16string prompt;
    int buttons;
    std::u16string title;
};

// Records every box; answers questions from a queue (No when it runs dry) and OK otherwise.
// Installs itself as the thread's boxes for its lifetime.
class RecordingBoxes final : public MessageBoxes {
  public:
    RecordingBoxes();
    ~RecordingBoxes() override;
    int Show(std::u16string_view prompt, int buttons, std::u16string_view title) override;
    std::vector<Box> boxes;
    std::deque<int> answers;
};

enum class Schema {
    Ours,  // the schema the project creates: keys, case-insensitive texts
    Host,  // as a host might have made it: plain columns (on SQLite some untyped), no keys, NULLs
};

// A database the tests may fill and break as they like.
class TestStore {
  public:
    virtual ~TestStore() = default;
    virtual std::u16string ConnString() const = 0;
    // Runs statements (in the host's dialect) on a private connection, outside the module state.
    virtual void Exec(const std::vector<std::u16string>& statements);
};

struct Target {
    std::string name;
    std::function<std::unique_ptr<TestStore>(Schema)> create;
};

// Every target available on this machine; the embedded one is always first. The ODBC targets
// are there when their driver is installed (SQLite3) or the test script has started a server
// and said where (QUORVEL_TEST_PG_CONN, an ODBC string without a Database key;
// QUORVEL_TEST_TDS_CONN, a host's SQL Server string without its catalog).
std::vector<Target>& Targets();
void AddTarget(Target t);

// Suites that run on every target with both schemas take these as their parameter.
struct StoreParam {
    size_t target;
    Schema schema;
};
std::vector<StoreParam> EveryTargetAndSchema();
void PrintTo(const StoreParam& p, std::ostream* os);
std::string StoreParamName(const ::testing::TestParamInfo<StoreParam>& info);

std::string TempPath(const std::string& stem);

// QUORVEL_TEST_PG_CONN, or empty when no server was started for the tests.
std::u16string PostgresBaseConnString();

// The rule tables as a host might have made them (plain types, no keys).
std::vector<std::u16string> HostSchemaStatements(bool untyped);

}  // namespace quorvel::test
