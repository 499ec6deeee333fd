#include "sim/procs/Sandbox.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "sim/statements/BatchRunner.h"
#include "sim/statements/ExecutionContext.h"
#include "sim/statements/StatementHandlers.h"
#include "sim/storage/ServerState.h"

namespace tvr::sim {
namespace {

namespace fs = std::filesystem;

const char* const kSampleData = R"(
create table customers (id int not null, name varchar(40) not null, city varchar(30) null)
create table orders (id int not null, customer_id int not null, amount money not null, placed datetime not null)
insert into customers values (1, 'Northwind Traders', 'Seattle')
insert into customers values (2, 'Blue Harbour Ltd', 'Hamburg')
insert into customers values (3, 'Cedar & Sons', NULL)
insert into orders values (100, 1, 250.5, '2026-11-02 09:15:00')
insert into orders values (101, 1, 99.99, '2026-11-15 14:02:30')
insert into orders values (102, 2, 1200, '2026-12-01 11:45:00')
insert into orders values (103, 3, 12.75, '2026-12-05 16:20:10')
)";

// Collects the errors of the set-up statements; everything else is dropped.
class SetupSink : public NullResultSink {
public:
    void message(const ServerMessage& m) override {
        if (m.severity > 10) errors += std::to_string(m.number) + ": " + m.text;
    }
    std::string errors;
};

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

void makeServer(const fs::path& data, const std::string& name, const std::string& database,
                const char* sql) {
    ServerOptions options;
    options.name = name;
    options.dataDir = data.string();
    options.databases = {database};
    options.logins = {{"sa", ""}};
    ServerState state(options);
    if (!sql) return;
    const CommandSet commands = makeStandardCommands();
    SetupSink sink;
    ExecutionContext context(state, commands, sink, 1);
    if (auto refusal = context.useDatabase(database)) throw std::runtime_error(refusal->text);
    runBatch(context, sql);
    if (!sink.errors.empty()) throw std::runtime_error("sample data: " + sink.errors);
}

struct Entry {
    std::string name;
    int port;
};

}  // namespace

int runSandbox(const std::vector<std::string>& arguments, const std::string& program) {
    if (arguments.empty() || arguments[0].rfind("--", 0) == 0) {
        std::cerr << "usage: aseemu sandbox DIR [--port N]\n";
        return 2;
    }
    int port = 5000;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--port" && i + 1 < arguments.size()) {
            try {
                port = std::stoi(arguments[++i]);
            } catch (const std::exception&) {
                port = -1;
            }
            if (port < 1 || port > 65532) {
                std::cerr << "aseemu sandbox: --port needs a number from 1 to 65532\n";
                return 2;
            }
        } else {
            std::cerr << "aseemu sandbox: unknown argument '" << arguments[i] << "'\n";
            return 2;
        }
    }
    const fs::path dir = fs::absolute(arguments[0]);
    const fs::path sybase = dir / "sybase";
    const std::vector<Entry> servers = {
        {"MAIN", port}, {"MAIN_BS", port + 1}, {"RESERVE", port + 2}, {"RESERVE_BS", port + 3}};
    try {
        if (fs::exists(dir / "main") || fs::exists(dir / "reserve"))
            throw std::runtime_error(
                dir.string() + " already holds a sandbox; remove it or choose another folder");
        std::string sqlIni;
        std::string interfaces;
        std::string freetds = "[global]\n\ttds version = 5.0\n\tclient charset = UTF-8\n";
        for (const Entry& s : servers) {
            const std::string address = "127.0.0.1," + std::to_string(s.port);
            sqlIni += "[" + s.name + "]\r\nmaster=NLWNSCK," + address + "\r\nquery=NLWNSCK," +
                      address + "\r\n\r\n";
            const std::string line = " tcp ether 127.0.0.1 " + std::to_string(s.port) + "\n";
            interfaces += s.name + "\n\tmaster" + line + "\tquery" + line + "\n";
            freetds += "\n[" + s.name +
                       "]\n\thost = 127.0.0.1\n\tport = " + std::to_string(s.port) +
                       "\n\ttds version = 5.0\n";
        }
        writeFile(sybase / "ini" / "sql.ini", sqlIni);
        writeFile(sybase / "interfaces", interfaces);
        writeFile(sybase / "freetds.conf", freetds);
        makeServer(dir / "main", "MAIN", "sales", kSampleData);
        makeServer(dir / "reserve", "RESERVE", "sales_copy", nullptr);
        fs::create_directories(dir / "dumps");
    } catch (const std::exception& error) {
        std::cerr << "aseemu sandbox: " << error.what() << "\n";
        return 1;
    }
    // The program really running: run from the PATH, argv[0] is a bare name.
    std::error_code noLink;
    std::string exe = fs::read_symlink("/proc/self/exe", noLink).string();
    if (noLink) exe = fs::absolute(program).string();
    std::cout
        << "Sandbox written to " << dir.string() << ".\n\n"
        << "Start the two servers, each in a terminal of its own:\n"
        << "  " << exe << " --name MAIN --port " << port << " --data " << (dir / "main").string()
        << "\n"
        << "  " << exe << " --name RESERVE --port " << port + 2 << " --data "
        << (dir / "reserve").string() << "\n\n"
        << "Then set, for the program and for fisql:\n"
        << "  export SYBASE=" << sybase.string() << "\n"
        << "  export FREETDSCONF=" << (sybase / "freetds.conf").string() << "\n\n"
        << "Logins: sa with an empty password. MAIN holds the database sales (tables customers and orders);\n"
        << "RESERVE holds the empty database sales_copy. Dump and load files can go to "
        << (dir / "dumps").string() << ".\n"
        << "Try: fisql -S MAIN -U sa -P ''\n";
    return 0;
}

}  // namespace tvr::sim
