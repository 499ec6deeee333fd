#include "tests/e2e/Workstation.h"

#include "tests/support/CtClient.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <algorithm>
#include <fstream>

namespace tvr::e2e {
namespace fs = std::filesystem;

namespace {

const char* const kSampleRows[] = {
    "create table customers (id int not null, name varchar(40) not null, city varchar(30) null)",
    "create table orders (id int not null, customer_id int not null, amount float not null, "
    "placed datetime not null)",
    "insert into customers values (1, 'Northwind Traders', 'Seattle')",
    "insert into customers values (2, 'Blue Harbour Ltd', 'Hamburg')",
    "insert into orders values (100, 1, 250.5, '2026-11-02 09:15:00')",
    "insert into orders values (101, 2, 1200, '2026-12-01 11:45:00')",
};

// The rows of both tables of `database`, one text per row.
std::vector<std::string> tableRows(testing::CtClient& client, const std::string& database) {
    std::vector<std::string> rows;
    for (const std::string table : {"customers", "orders"}) {
        const auto batch =
            client.execute("select * from " + database + ".." + table + " order by id");
        EXPECT_FALSE(batch.failed()) << table << " of " << database;
        for (const auto& result : batch.rowResults()) {
            for (const auto& row : result.rows) {
                std::string text = table + ":";
                for (const auto& value : row) text += " " + value.value_or("NULL");
                rows.push_back(text);
            }
        }
    }
    return rows;
}

std::unique_ptr<testing::CtClient> connected(const std::string& server,
                                             const std::string& password) {
    auto client = std::make_unique<testing::CtClient>();
    EXPECT_TRUE(client->connect(server, "sa", password)) << server;
    return client;
}

}  // namespace

std::vector<std::string> unattendedArguments() {
    return {"P1:" + kMainPassword, "P2:" + kReservePassword, "-A"};
}

WorkstationFolders::WorkstationFolders() {
    fs::create_directories(sybase() / "ini");
    std::ofstream(sybase() / "ini" / "sql.ini", std::ios::binary)
        << "[MAIN]\r\nmaster=NLWNSCK,127.0.0.1,5000\r\n\r\n"
        << "[RESERVE]\r\nmaster=NLWNSCK,127.0.0.1,5002\r\n";
    fs::create_directories(root() / "run");
    ::chmod((root() / "run").c_str(), 0700);
    env_.set("SYBASE", sybase().string());
    env_.set("TVR_REGISTRY", registryFile().string());
    env_.set("XDG_RUNTIME_DIR", (root() / "run").string());
    env_.set("XDG_CONFIG_HOME", (root() / "config").string());
    // Boxes go to standard error, answered by default, so that none can hold a run forever.
    env_.set("TVR_PROMPTS", "stderr");
}

std::string WorkstationFolders::activityLog(const std::string& profile) const {
    const std::string start = profile.empty() ? "sales" : profile + "_sales";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(logFolder(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(start, 0) == 0 && entry.path().extension() == ".log") {
            std::string text = tvr::testing::fileText(entry.path());
            text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
            return text;
        }
    }
    return {};
}

std::string WorkstationFolders::snapshot() const {
    std::vector<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root())) {
        std::string line = fs::relative(entry.path(), root()).string();
        if (entry.is_regular_file()) line += "\n" + tvr::testing::fileText(entry.path());
        entries.push_back(line);
    }
    std::sort(entries.begin(), entries.end());
    std::string text;
    for (const auto& e : entries) text += e + "\n";
    return text;
}

Workstation::Workstation(const std::string& interval)
    : Workstation(WorkstationOptions{interval, {}, {}}) {}

Workstation::Workstation(const WorkstationOptions& options)
    : interval_(options.interval), setupArgs_(options.setupArgs) {
    startPair("", options.reserveArgs);
}

std::string Workstation::mainName(const std::string& profile) {
    return profile.empty() ? "MAIN" : "MAIN_" + profile;
}

std::string Workstation::reserveName(const std::string& profile) {
    return profile.empty() ? "RESERVE" : "RESERVE_" + profile;
}

void Workstation::addProfile(const std::string& profile) { startPair(profile, {}); }

void Workstation::startPair(const std::string& profile,
                            const std::vector<std::string>& reserveArgs) {
    testing::EmulatorOptions main;
    main.name = mainName(profile);
    main.databases = {"sales"};
    main.logins = {"sa:" + kMainPassword};
    servers_.push_back(std::make_unique<testing::Emulator>(main));
    testing::EmulatorOptions reserve;
    reserve.name = reserveName(profile);
    reserve.databases = {"sales_copy"};
    reserve.logins = {"sa:" + kReservePassword};
    reserve.extraArgs = reserveArgs;
    servers_.push_back(std::make_unique<testing::Emulator>(reserve));

    changeRows({std::begin(kSampleRows), std::end(kSampleRows)}, profile);

    std::vector<std::string> args{
        "--main-server",    mainName(profile),     "--main-database",    "sales",
        "--reserve-server", reserveName(profile),  "--reserve-database", "sales_copy",
        "--main-password",  kMainPassword,         "--reserve-password", kReservePassword,
        "--dump-folder",    dumpFolder().string(), "--load-folder",      dumpFolder().string(),
        "--log-folder",     logFolder().string(),  "--interval",         interval_};
    if (!profile.empty()) args.insert(args.end(), {"--profile", profile});
    args.insert(args.end(), setupArgs_.begin(), setupArgs_.end());
    ProgramProcess setup("tvr_first_setup", args, root() / ("first-setup" + profile + ".out"));
    const auto status = setup.wait();
    EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << setup.output();
}

void Workstation::changeRows(const std::vector<std::string>& statements,
                             const std::string& profile) {
    auto client = connected(mainName(profile), kMainPassword);
    client->execute("use sales");
    for (const auto& sql : statements) EXPECT_FALSE(client->execute(sql).failed()) << sql;
}

bool Workstation::passCompletedAfter(std::size_t offset) const {
    const std::string log = activityLog();
    if (log.size() <= offset) return false;
    const auto start = log.find("Start Dump", offset);
    return start != std::string::npos && log.find("LOAD is complete", start) != std::string::npos;
}

std::size_t Workstation::signalInMidPass(ProgramProcess& program, int signal) {
    changeRows({"insert into orders values (102, 1, 310.4, getdate())"});
    auto client = connected(mainName(""), kMainPassword);
    EXPECT_FALSE(client->execute("emulator fault stall 2").failed());
    const std::size_t traced = mainServer().traceText().size();
    EXPECT_TRUE(eventually([&] {
        return mainServer().traceText().find("use master", traced) != std::string::npos;
    })) << program.output();
    const std::size_t logged = activityLog().size();
    program.kill(signal);
    return logged;
}

bool Workstation::lastPassLoaded(const std::string& profile) const {
    const std::string log = activityLog(profile);
    const auto start = log.rfind("Start Dump");
    return start != std::string::npos && log.find("LOAD is complete", start) != std::string::npos;
}

std::vector<std::string> Workstation::mainRows(const std::string& profile) {
    auto client = connected(mainName(profile), kMainPassword);
    return tableRows(*client, "sales");
}

std::vector<std::string> Workstation::reserveRowsOnline(const std::string& profile) {
    auto client = connected(reserveName(profile), kReservePassword);
    EXPECT_FALSE(client->execute("online database sales_copy").failed());
    return tableRows(*client, "sales_copy");
}

}  // namespace tvr::e2e
