// A deterministic random driver over the whole C interface.  For every family it creates handles with
// random parameters, fits them with hostile data (NaN, infinities, signed zeros, subnormals, huge and
// tiny magnitudes, duplicates, unsorted x, mismatched and empty lengths), refits, and evaluates.
//
// Invariants checked on every call: the status is 0 or -1; after -1 the last error is non-empty; after a
// failed fit (or update) the handle evaluates exactly as before, bit for bit.  Run it under
// AddressSanitizer and UndefinedBehaviorSanitizer: a crash or a sanitizer report is a finding too.
//
// Usage: fuzz_capi [seconds per family = 2] [seed = 1] [family name]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "morvelay.h"

namespace {

using Values = std::vector<double>;

class Random {
public:
    explicit Random(std::uint64_t seed) : engine_(seed) {}

    std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(engine_); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(engine_) < p; }
    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(engine_); }

    double value() {
        static const double special[] = {
            std::numeric_limits<double>::quiet_NaN(),
            std::numeric_limits<double>::infinity(),
            -std::numeric_limits<double>::infinity(),
            0.0,
            -0.0,
            5e-324,
            -5e-324,
            std::numeric_limits<double>::min(),
            std::numeric_limits<double>::max(),
            -std::numeric_limits<double>::max(),
            1e300,
            -1e-300,
            1.0,
            -1.0,
            0.5,
            2.0,
            1e-9,
        };
        switch (below(4)) {
            case 0:
                return special[below(std::size(special))];
            case 1:
                return static_cast<double>(static_cast<int>(below(21)) - 10);
            case 2:
                return uniform(-1.0, 1.0) * std::pow(10.0, uniform(-30.0, 30.0));
            default:
                return uniform(-5.0, 5.0);
        }
    }

    std::size_t length(std::size_t large) {
        switch (below(6)) {
            case 0:
                return 0;
            case 1:
                return 1;
            case 2:
                return 2;
            case 3:
                return 3;
            case 4:
                return 4 + below(20);
            default:
                return 1 + below(large);
        }
    }

    // Mostly well-behaved data with a sprinkling of hostile values, sometimes sorted, sometimes repeated.
    Values array(std::size_t n) {
        Values values(n);
        const double hostility = chance(0.5) ? 0.0 : uniform(0.0, 0.5);
        for (std::size_t i = 0; i < n; ++i) {
            values[i] = chance(hostility) ? value() : uniform(-10.0, 10.0);
            if (i > 0 && chance(0.05)) values[i] = values[i - 1];
        }
        if (chance(0.4)) {
            // NaNs go last first: sorting over them would be undefined behaviour in the driver itself.
            auto numbers_end = std::partition(values.begin(), values.end(), [](double v) { return !std::isnan(v); });
            std::sort(values.begin(), numbers_end);
        }
        if (chance(0.2)) {
            for (std::size_t i = 0; i < n; ++i) values[i] = static_cast<double>(i) * 0.25 - 3.0;  // evenly spaced
        }
        return values;
    }

private:
    std::mt19937_64 engine_;
};

struct Stats {
    std::uint64_t calls = 0, failures = 0, violations = 0;
};

Stats stats;

void violation(const char* family, const char* what) {
    ++stats.violations;
    std::printf("VIOLATION [%s]: %s\n", family, what);
}

// Checks one status: 0 or -1, and a message after -1.
bool status_ok(const char* family, const char* operation, int status) {
    ++stats.calls;
    if (status != 0 && status != -1) {
        violation(family, operation);
        return false;
    }
    if (status == -1) {
        ++stats.failures;
        if (morvelay_last_error(nullptr, 0) <= 1) violation(family, "failure without a message");
    }
    return status == 0;
}

bool same_bits(const Values& a, const Values& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// What the driver needs of a family: create (possibly refused), fit, the two evaluations, destroy,
// and an optional extra update whose failure must also leave the handle unchanged.
struct Family {
    const char* name;
    std::size_t large;  // the largest length worth fitting (the dense methods are O(n^3))
    void* (*create)(Random&);
    void (*destroy)(void*);
    int (*fit)(void*, Random&);
    int (*eval)(const void*, double, double*);
    int (*eval_many)(const void*, const double*, std::size_t, double*);
    int (*update)(void*, Random&);
};

// Fits with x and y of (usually) equal random length.
template <class Handle, int (*Fit)(Handle*, const double*, size_t, const double*, size_t)>
int fit_xy(void* handle, Random& random) {
    const std::size_t n = random.length(300);
    const std::size_t m = random.chance(0.9) ? n : random.length(300);
    Values x = random.array(n), y = random.array(m);
    const double* x_ptr = random.chance(0.02) ? nullptr : x.data();
    return Fit(static_cast<Handle*>(handle), x_ptr, n, y.data(), m);
}

// Hermite: three arrays, now and then of different lengths.
int fit_hermite(void* handle, Random& random) {
    const std::size_t n = random.length(300);
    auto other = [&] { return random.chance(0.9) ? n : random.length(300); };
    const std::size_t m = other(), k = other();
    Values x = random.array(n), y = random.array(m), dy = random.array(k);
    const double* dy_ptr = random.chance(0.02) ? nullptr : dy.data();
    return morvelay_hermite_fit(static_cast<morvelay_hermite*>(handle), x.data(), n, y.data(), m, dy_ptr, k);
}

// Lagrange's two updates: one more node (often a repeat of an existing one) or new values.
int update_lagrange(void* handle, Random& random) {
    auto* h = static_cast<morvelay_lagrange*>(handle);
    if (random.chance(0.5)) return morvelay_lagrange_add_point(h, random.value(), random.value());
    const std::size_t n = random.length(300);
    Values y = random.array(n);
    return morvelay_lagrange_update_y(h, random.chance(0.02) ? nullptr : y.data(), n);
}

template <class Handle, int (*Eval)(const Handle*, double, double*)>
int eval(const void* handle, double x, double* out) {
    return Eval(static_cast<const Handle*>(handle), x, out);
}

template <class Handle, int (*EvalMany)(const Handle*, const double*, size_t, double*)>
int eval_many(const void* handle, const double* x, std::size_t n, double* out) {
    return EvalMany(static_cast<const Handle*>(handle), x, n, out);
}

template <class Handle, void (*Destroy)(Handle*)>
void destroy(void* handle) {
    Destroy(static_cast<Handle*>(handle));
}

// Mostly low degrees (the normal equations are O(degree^2) in memory), sometimes the largest one.
void* create_least_squares(Random& random) {
    const std::size_t degree = random.chance(0.05) ? SIZE_MAX : random.below(9);
    return morvelay_least_squares_create(degree);
}

// Handles live one at a time, so the node count of the current one can steer most fits to the right length.
std::size_t chebyshev_nodes = 0;

void* create_chebyshev(Random& random) {
    chebyshev_nodes = random.chance(0.05) ? 0 : random.length(70);
    const double x_min = random.chance(0.3) ? random.value() : -1.0;
    const double x_max = random.chance(0.3) ? random.value() : 1.0;
    return morvelay_chebyshev_create(chebyshev_nodes, x_min, x_max, random.chance(0.7));
}

int fit_chebyshev(void* handle, Random& random) {
    const std::size_t n = random.chance(0.8) ? chebyshev_nodes : random.length(70);
    Values y = random.array(n);
    return morvelay_chebyshev_fit(static_cast<morvelay_chebyshev*>(handle), random.chance(0.02) ? nullptr : y.data(),
                                  n);
}

const Family families[] = {
    {"linear", 2000, [](Random&) -> void* { return morvelay_linear_create(); },
     destroy<morvelay_linear, morvelay_linear_destroy>, fit_xy<morvelay_linear, morvelay_linear_fit>,
     eval<morvelay_linear, morvelay_linear_eval>, eval_many<morvelay_linear, morvelay_linear_eval_many>, nullptr},
    {"lagrange", 300, [](Random&) -> void* { return morvelay_lagrange_create(); },
     destroy<morvelay_lagrange, morvelay_lagrange_destroy>, fit_xy<morvelay_lagrange, morvelay_lagrange_fit>,
     eval<morvelay_lagrange, morvelay_lagrange_eval>, eval_many<morvelay_lagrange, morvelay_lagrange_eval_many>,
     update_lagrange},
    {"newton", 300, [](Random&) -> void* { return morvelay_newton_create(); },
     destroy<morvelay_newton, morvelay_newton_destroy>, fit_xy<morvelay_newton, morvelay_newton_fit>,
     eval<morvelay_newton, morvelay_newton_eval>, eval_many<morvelay_newton, morvelay_newton_eval_many>, nullptr},
    {"quadratic", 2000, [](Random&) -> void* { return morvelay_quadratic_create(); },
     destroy<morvelay_quadratic, morvelay_quadratic_destroy>, fit_xy<morvelay_quadratic, morvelay_quadratic_fit>,
     eval<morvelay_quadratic, morvelay_quadratic_eval>, eval_many<morvelay_quadratic, morvelay_quadratic_eval_many>,
     nullptr},
    {"cubic_spline", 2000, [](Random&) -> void* { return morvelay_cubic_spline_create(); },
     destroy<morvelay_cubic_spline, morvelay_cubic_spline_destroy>,
     fit_xy<morvelay_cubic_spline, morvelay_cubic_spline_fit>, eval<morvelay_cubic_spline, morvelay_cubic_spline_eval>,
     eval_many<morvelay_cubic_spline, morvelay_cubic_spline_eval_many>, nullptr},
    {"hermite", 300, [](Random&) -> void* { return morvelay_hermite_create(); },
     destroy<morvelay_hermite, morvelay_hermite_destroy>, fit_hermite, eval<morvelay_hermite, morvelay_hermite_eval>,
     eval_many<morvelay_hermite, morvelay_hermite_eval_many>, nullptr},
    {"least_squares", 2000, create_least_squares, destroy<morvelay_least_squares, morvelay_least_squares_destroy>,
     fit_xy<morvelay_least_squares, morvelay_least_squares_fit>,
     eval<morvelay_least_squares, morvelay_least_squares_eval>,
     eval_many<morvelay_least_squares, morvelay_least_squares_eval_many>, nullptr},
    {"chebyshev", 70, create_chebyshev, destroy<morvelay_chebyshev, morvelay_chebyshev_destroy>, fit_chebyshev,
     eval<morvelay_chebyshev, morvelay_chebyshev_eval>, eval_many<morvelay_chebyshev, morvelay_chebyshev_eval_many>,
     nullptr},
};

// The handle's answers on a fixed probe, to compare before and after a failed call.
Values probe(const Family& family, const void* handle, const Values& points) {
    Values out(points.size(), 0.0);
    if (family.eval_many(handle, points.data(), points.size(), out.data()) != 0) out.assign(1, -12345.0);
    return out;
}

void run_family(const Family& family, double seconds, std::uint64_t seed) {
    Random random(seed);
    const Values points = {-1e9, -3.0, -1.0, -0.5, -0.0, 0.0, 0.3, 0.5, 1.0, 2.5, 7.0, 1e9, 5e-324};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::uint64_t handles = 0;
    const Stats before = stats;
    while (std::chrono::steady_clock::now() < deadline) {
        void* handle = family.create(random);
        ++handles;
        if (!handle) {
            if (morvelay_last_error(nullptr, 0) <= 1) violation(family.name, "create refused without a message");
            continue;
        }
        const int rounds = 1 + static_cast<int>(random.below(4));
        for (int round = 0; round < rounds; ++round) {
            const Values answers = probe(family, handle, points);
            if (!status_ok(family.name, "fit", family.fit(handle, random))) {
                if (!same_bits(probe(family, handle, points), answers))
                    violation(family.name, "failed fit changed the handle");
            }
            if (family.update && random.chance(0.5)) {
                const Values kept = probe(family, handle, points);
                if (!status_ok(family.name, "update", family.update(handle, random))) {
                    if (!same_bits(probe(family, handle, points), kept)) {
                        violation(family.name, "failed update changed the handle");
                    }
                }
            }
            double value = 0.0;
            status_ok(family.name, "eval", family.eval(handle, random.value(), &value));
            const std::size_t n = random.length(500);
            Values xs = random.array(n), out(n);
            status_ok(family.name, "eval_many", family.eval_many(handle, xs.data(), n, out.data()));
        }
        family.destroy(handle);
    }
    std::printf("%-14s %8llu handles %10llu calls %9llu refusals %llu violations\n", family.name,
                static_cast<unsigned long long>(handles), static_cast<unsigned long long>(stats.calls - before.calls),
                static_cast<unsigned long long>(stats.failures - before.failures),
                static_cast<unsigned long long>(stats.violations - before.violations));
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    const std::uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
    const char* only = argc > 3 ? argv[3] : nullptr;
    for (const Family& family : families) {
        if (only && std::strcmp(only, family.name) != 0) continue;
        run_family(family, seconds, seed);
    }
    std::printf("%llu calls, %llu violations\n", static_cast<unsigned long long>(stats.calls),
                static_cast<unsigned long long>(stats.violations));
    return stats.violations == 0 ? 0 : 1;
}
