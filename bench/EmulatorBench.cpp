// Figures for aseemu through the real Client-Library: logons per second and round trips per
// second of a trivial query, on one connection and on several at once.
//
//   build/bin/bench_emulator [seconds per figure, default 3]
#include "tests/support/CtClient.h"
#include "tests/support/Emulator.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs `step` until `seconds` have passed; returns the number of steps per second.
template <typename Step>
double rate(double seconds, Step step) {
    long count = 0;
    auto start = Clock::now();
    while (secondsSince(start) < seconds) {
        if (!step()) {
            std::fprintf(stderr, "bench step failed\n");
            std::exit(1);
        }
        ++count;
    }
    return static_cast<double>(count) / secondsSince(start);
}

bool trivialQuery(tvr::testing::CtClient& client) {
    auto batch = client.execute("select 1");
    return batch.rowResults().size() == 1;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    if (seconds <= 0) seconds = 3.0;
    if (std::getenv("TVR_BIN_DIR") == nullptr) {
        std::string self = argv[0];
        std::string folder =
            self.find('/') == std::string::npos ? "." : self.substr(0, self.rfind('/'));
        ::setenv("TVR_BIN_DIR", folder.c_str(), 1);
    }
    tvr::testing::Emulator server("BENCH");

    double logons = rate(seconds, [] {
        tvr::testing::CtClient client;
        return client.connect("BENCH");
    });
    std::printf("logons per second (connect and logout, one client): %.0f\n", logons);

    tvr::testing::CtClient client;
    if (!client.connect("BENCH")) return 1;
    double trips = rate(seconds, [&] { return trivialQuery(client); });
    std::printf("round trips per second (select 1, one connection): %.0f\n", trips);

    const int clients = 4;
    std::vector<double> rates(clients);
    std::vector<std::thread> workers;
    for (int i = 0; i < clients; ++i)
        workers.emplace_back([&, i] {
            tvr::testing::CtClient own;
            if (!own.connect("BENCH")) return;
            rates[static_cast<std::size_t>(i)] = rate(seconds, [&] { return trivialQuery(own); });
        });
    double total = 0;
    for (int i = 0; i < clients; ++i) {
        workers[static_cast<std::size_t>(i)].join();
        total += rates[static_cast<std::size_t>(i)];
    }
    std::printf("round trips per second (select 1, %d connections at once, total): %.0f\n", clients,
                total);
    return 0;
}
