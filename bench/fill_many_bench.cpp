// The core's fill_many alone, without the Python face: ns per query for each method on the workloads
// of the side-by-side table, so a slow row there can be pinned on the core or on the face.
//
// Build with -DMORVELAY_BENCH=ON; run build/<dir>/fill_many_bench [milliseconds per row = 300].
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/linear_core.hpp"

namespace {

using Values = std::vector<double>;
using morvelay::Status;

std::mt19937_64 random_engine(20261208);

Values uniform_values(std::size_t n, double lo, double hi) {
    std::uniform_real_distribution<double> value(lo, hi);
    Values values(n);
    for (double& v : values) v = value(random_engine);
    return values;
}

Values knots(std::size_t n, bool uniform) {
    Values x(n);
    double position = 0.0;
    std::uniform_real_distribution<double> step(0.5, 1.5);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = uniform ? static_cast<double>(i) : position;
        position += step(random_engine);
    }
    if (!uniform) {
        const double scale = static_cast<double>(n - 1) / x.back();
        for (double& v : x) v *= scale;
    }
    return x;
}

// Median over repeated runs of one fill_many, reported per query.
void report(const std::string& name, const Values& queries,
            const std::function<Status(std::span<const double>, std::span<double>)>& fill, double budget_ms) {
    Values out(queries.size());
    if (!fill(queries, out)) {
        std::printf("%-48s failed\n", name.c_str());
        return;
    }
    std::vector<double> times;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double, std::milli>(budget_ms);
    while (times.size() < 5 || (std::chrono::steady_clock::now() < end && times.size() < 1000)) {
        const auto start = std::chrono::steady_clock::now();
        (void)fill(queries, out);
        times.push_back(std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2), times.end());
    std::printf("%-48s %9.2f ns/query\n", name.c_str(), times[times.size() / 2] / static_cast<double>(queries.size()));
}

template <class Core>
std::function<Status(std::span<const double>, std::span<double>)> filler(const Core& core) {
    return [&core](std::span<const double> xs, std::span<double> out) { return core.fill_many(xs, out); };
}

}  // namespace

int main(int argc, char** argv) {
    const double budget = argc > 1 ? std::atof(argv[1]) : 300.0;
    const std::size_t m = 1'000'000;

    for (bool uniform : {true, false}) {
        const Values x = knots(1000, uniform);
        Values y(x.size());
        for (std::size_t i = 0; i < x.size(); ++i) y[i] = std::sin(x[i] / 37.0);
        Values random_q = uniform_values(m, x.front(), x.back());
        Values sorted_q = random_q;
        std::sort(sorted_q.begin(), sorted_q.end());
        const std::string grid = uniform ? "uniform" : "uneven";

        morvelay::LinearCore linear;
        (void)linear.fit(x, y);
        report("linear sorted, " + grid + " 1k knots", sorted_q, filler(linear), budget);
        report("linear random, " + grid + " 1k knots", random_q, filler(linear), budget);
    }

    Values source = uniform_values(m, 0.0, 1.0), copy(m);
    report(
        "floor: copy 1M doubles", source,
        [&](std::span<const double> xs, std::span<double> out) {
            std::copy(xs.begin(), xs.end(), out.begin());
            return Status::success();
        },
        budget);
    return 0;
}
