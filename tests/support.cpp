#include "support.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>

#include "store/connection.h"
#include "store/dialect.h"
#include "store/schema.h"
#include "store/text.h"

namespace quorvel::test {

RecordingBoxes::RecordingBoxes() { SetMessageBoxes(this); }
RecordingBoxes::~RecordingBoxes() { SetMessageBoxes(nullptr); }

int RecordingBoxes::Show(std::u16string_view prompt, int buttons, std::u16string_view title) {
    boxes.push_back({std::u16string(prompt), buttons, std::u16string(title)});
    if ((buttons & 7) == mb::kYesNo) {
        if (answers.empty()) return mb::kNo;
        int a = answers.front();
        answers.pop_front();
        return a;
    }
    return mb::kOk;
}

void TestStore::Exec(const std::vector<std::u16string>& statements) {
    Connection c;
    c.Open(ConnString());
    for (const auto& s : statements) c.Execute(s);
    c.Close();
}

std::string TempPath(const std::string& stem) {
    static std::atomic<int> counter{0};
    auto dir = std::filesystem::temp_directory_path() / ("quorvel-tests-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return (dir / (stem + "-" + std::to_string(counter++))).string();
}

std::vector<std::u16string> HostSchemaStatements() {
    return {
        u"create table txm_gzzb (gzid varchar(20), gzname varchar(50), dnmid varchar(20), txmzws int)",
        u"create table txm_gzmx (gzid varchar(20), js int, lbid varchar(20), startws int, endws int, "
        u"xsws int, bz varchar(50))",
        u"create table glsx (id varchar(20), name varchar(50), fid int)",
    };
}

namespace {

class SqliteStore final : public TestStore {
public:
    explicit SqliteStore(Schema schema) : path_(TempPath("store") + ".db") {
        CreateSqliteStore(path_, false);
        if (schema == Schema::Host) {
            // Replace the project's tables by plain ones, as a host may have made them.
            Exec({u"drop table txm_gzzb", u"drop table txm_gzmx", u"drop table glsx"});
            Exec(HostSchemaStatements());
        }
    }
    ~SqliteStore() override {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    std::u16string ConnString() const override {
        return u"Provider=SQLite;Data Source=" + FromUtf8(path_);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

std::vector<Target>& Targets() {
    static std::vector<Target> targets{
        {"Embedded", [](Schema s) { return std::make_unique<SqliteStore>(s); }},
    };
    return targets;
}

void AddTarget(Target t) { Targets().push_back(std::move(t)); }

}  // namespace quorvel::test
