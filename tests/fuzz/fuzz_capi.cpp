// A deterministic random driver over the whole C interface.  For every family it creates handles with
// random parameters, fits them with hostile data (NaN, infinities, signed zeros, subnormals, huge and
// tiny magnitudes, duplicates, unsorted x, mismatched and empty lengths), refits, and evaluates.
//
// Invariants checked on every call: the status is 0 or -1; after -1 the last error is non-empty (through
// the family's own accessor too); after a failed fit (or update) the handle evaluates exactly as before,
// bit for bit; where batch evaluation promises single-point results, it gives them bit for bit.  Run it
// under AddressSanitizer and UndefinedBehaviorSanitizer: a crash or a sanitizer report is a finding too.
//
// Every handle draws from its own generator, seeded from (run seed, family, handle number), so a finding
// is replayed exactly by its handle seed, whatever the time budget.  A seeds file holds run seeds (one
// number a line) and replays (a family name and a handle seed); '#' starts a comment.
//
// Usage: fuzz_capi [seconds per family = 2] [seed or seeds file = 1] [family name]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
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
std::uint64_t current_handle_seed = 0;

void violation(const char* family, const char* what) {
    ++stats.violations;
    std::printf("VIOLATION [%s, handle seed %llu]: %s\n", family, static_cast<unsigned long long>(current_handle_seed),
                what);
    std::fflush(stdout);
}

// The family's own accessor, checked against the shared one after every failure.
size_t (*current_family_error)(char*, size_t) = nullptr;

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
        if (current_family_error && current_family_error(nullptr, 0) != morvelay_last_error(nullptr, 0)) {
            violation(family, "the family's last error differs from the shared one");
        }
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
    size_t (*last_error)(char*, size_t);
    bool (*batch_exact)(const void*);                // whether eval_many must equal eval bit for bit
    void (*inspect)(const void*, Random&, Values&);  // extra read-only answers, part of the probe
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

// Mostly low degrees (the normal equations are O(degree^2) in memory), sometimes a huge one.
void* create_least_squares(Random& random) {
    const std::size_t huge[] = {SIZE_MAX, SIZE_MAX / 2, std::size_t{1} << 40, 100000};
    const std::size_t degree = random.chance(0.05) ? huge[random.below(std::size(huge))] : random.below(9);
    return morvelay_least_squares_create(degree);
}

// Handles live one at a time, so the node count of the current one can steer most fits to the right length.
std::size_t chebyshev_nodes = 0;
bool chebyshev_clenshaw = false;

// Clenshaw's batch maps x to [-1, 1] with a precomputed scale, which rounds differently from eval.
bool chebyshev_batch_exact(const void*) { return !chebyshev_clenshaw; }

void* create_chebyshev(Random& random) {
    // Past what a vector can hold: refused before any allocation, so the sanitizer sees no huge request.
    const std::size_t huge[] = {SIZE_MAX, SIZE_MAX / 8, SIZE_MAX / 4 + 12345};
    chebyshev_nodes = random.chance(0.05)   ? 0
                      : random.chance(0.02) ? huge[random.below(std::size(huge))]
                                            : random.length(70);
    const double x_min = random.chance(0.3) ? random.value() : -1.0;
    const double x_max = random.chance(0.3) ? random.value() : 1.0;
    chebyshev_clenshaw = random.chance(0.7);
    return morvelay_chebyshev_create(chebyshev_nodes, x_min, x_max, chebyshev_clenshaw);
}

int fit_chebyshev(void* handle, Random& random) {
    const std::size_t n = random.chance(0.8) && chebyshev_nodes <= 70 ? chebyshev_nodes : random.length(70);
    Values y = random.array(n);
    return morvelay_chebyshev_fit(static_cast<morvelay_chebyshev*>(handle), random.chance(0.02) ? nullptr : y.data(),
                                  n);
}

// The nodes are fixed at create: every probe must see them, and a wrong length or a null buffer is refused
// without writing.
void inspect_chebyshev(const void* handle, Random& random, Values& answers) {
    const auto* h = static_cast<const morvelay_chebyshev*>(handle);
    Values nodes(chebyshev_nodes + 1, -7.0);
    if (!status_ok("chebyshev", "nodes", morvelay_chebyshev_nodes(h, nodes.data(), chebyshev_nodes))) {
        violation("chebyshev", "nodes of the right length refused");
    }
    if (nodes.back() != -7.0) violation("chebyshev", "nodes wrote past the length");
    answers.insert(answers.end(), nodes.begin(), nodes.end() - 1);
    const std::size_t wrong = random.chance(0.5) || chebyshev_nodes == 0 ? chebyshev_nodes + 1 : chebyshev_nodes - 1;
    Values untouched(wrong + 1, -7.0);
    if (status_ok("chebyshev", "nodes", morvelay_chebyshev_nodes(h, untouched.data(), wrong))) {
        violation("chebyshev", "nodes of the wrong length accepted");
    } else if (std::any_of(untouched.begin(), untouched.end(), [](double v) { return v != -7.0; })) {
        violation("chebyshev", "refused nodes call wrote to the buffer");
    }
    if (status_ok("chebyshev", "nodes", morvelay_chebyshev_nodes(h, nullptr, chebyshev_nodes))) {
        violation("chebyshev", "nodes into a null buffer accepted");
    }
}

// Kernel ids mostly valid, sometimes just past the end or far out; epsilons from ordinary to hostile.
std::uint32_t rbf_kernel = 0;

void* create_rbf(Random& random) {
    const std::uint32_t wild[] = {5, 6, 255, 0x80000000u, UINT32_MAX};
    rbf_kernel = random.chance(0.9) ? static_cast<std::uint32_t>(random.below(5)) : wild[random.below(std::size(wild))];
    const double epsilon = random.chance(0.6) ? random.uniform(0.1, 5.0) : random.value();
    return morvelay_rbf_create(rbf_kernel, epsilon);
}

// Only the gaussian kernel may take the evenly spaced shortcut, which agrees to rounding only.
bool rbf_batch_exact(const void*) { return rbf_kernel != 0; }

bool always_exact(const void*) { return true; }

// The piecewise families sweep sorted batches segment by segment, which may pick the neighbouring
// segment for a query within rounding of a knot: they agree with eval to rounding only.
bool never_exact(const void*) { return false; }

// count and weights are read-only: they join the probe, so a failed fit must leave them alone too.
void inspect_rbf(const void* handle, Random& random, Values& answers) {
    const auto* h = static_cast<const morvelay_rbf*>(handle);
    const std::size_t count = morvelay_rbf_count(h);
    answers.push_back(static_cast<double>(count));
    Values weights(count + 2, -7.0);
    const int status = morvelay_rbf_weights(h, weights.data(), count);
    status_ok("rbf", "weights", status);
    if (status == 0) answers.insert(answers.end(), weights.begin(), weights.begin() + static_cast<long>(count));
    if ((status == 0) != (count > 0)) violation("rbf", "weights succeeded exactly when count is non-zero");
    // Wrong lengths and a null buffer must be refused without writing.
    const std::size_t wrong = random.chance(0.5) ? count + 1 : (count > 0 ? count - 1 : 3);
    Values untouched(wrong + 1, -7.0);
    if (status_ok("rbf", "weights", morvelay_rbf_weights(h, untouched.data(), wrong))) {
        violation("rbf", "weights of the wrong length accepted");
    } else if (std::any_of(untouched.begin(), untouched.end(), [](double v) { return v != -7.0; })) {
        violation("rbf", "refused weights call wrote to the buffer");
    }
    if (status_ok("rbf", "weights", morvelay_rbf_weights(h, nullptr, count))) {
        violation("rbf", "weights into a null buffer accepted");
    }
}

// Every call with a null handle, a null output or null inputs is refused with a message.
template <class Handle, int (*Eval)(const Handle*, double, double*),
          int (*EvalMany)(const Handle*, const double*, size_t, double*)>
void null_arguments(const char* family, const void* handle, Random& random) {
    const auto* h = static_cast<const Handle*>(handle);
    double value = 0.0, x = random.value();
    if (status_ok(family, "eval", Eval(nullptr, x, &value))) violation(family, "eval with a null handle");
    if (status_ok(family, "eval", Eval(h, x, nullptr))) violation(family, "eval into a null output");
    if (status_ok(family, "eval_many", EvalMany(nullptr, &x, 1, &value))) {
        violation(family, "eval_many with a null handle");
    }
    if (status_ok(family, "eval_many", EvalMany(h, nullptr, 1, &value))) violation(family, "eval_many from null");
    if (status_ok(family, "eval_many", EvalMany(h, &x, 1, nullptr))) violation(family, "eval_many into null");
}

#define MORVELAY_FAMILY(name, large, create, fit, update, exact, inspect)                                             \
    {{#name, large, create, destroy<morvelay_##name, morvelay_##name##_destroy>, fit,                                 \
      eval<morvelay_##name, morvelay_##name##_eval>, eval_many<morvelay_##name, morvelay_##name##_eval_many>, update, \
      morvelay_##name##_last_error, exact, inspect},                                                                  \
     null_arguments<morvelay_##name, morvelay_##name##_eval, morvelay_##name##_eval_many>}

template <class Handle, Handle* (*Create)()>
void* create_plain(Random&) {
    return Create();
}

#define MORVELAY_PLAIN(name) create_plain<morvelay_##name, morvelay_##name##_create>
#define MORVELAY_FIT(name) fit_xy<morvelay_##name, morvelay_##name##_fit>

struct FamilyEntry {
    Family family;
    void (*null_arguments)(const char*, const void*, Random&);
};

const FamilyEntry families[] = {
    MORVELAY_FAMILY(linear, 2000, MORVELAY_PLAIN(linear), MORVELAY_FIT(linear), nullptr, never_exact, nullptr),
    MORVELAY_FAMILY(lagrange, 300, MORVELAY_PLAIN(lagrange), MORVELAY_FIT(lagrange), update_lagrange, always_exact,
                    nullptr),
    MORVELAY_FAMILY(newton, 300, MORVELAY_PLAIN(newton), MORVELAY_FIT(newton), nullptr, always_exact, nullptr),
    MORVELAY_FAMILY(quadratic, 2000, MORVELAY_PLAIN(quadratic), MORVELAY_FIT(quadratic), nullptr, never_exact, nullptr),
    MORVELAY_FAMILY(cubic_spline, 2000, MORVELAY_PLAIN(cubic_spline), MORVELAY_FIT(cubic_spline), nullptr, never_exact,
                    nullptr),
    MORVELAY_FAMILY(hermite, 300, MORVELAY_PLAIN(hermite), fit_hermite, nullptr, always_exact, nullptr),
    MORVELAY_FAMILY(least_squares, 2000, create_least_squares, MORVELAY_FIT(least_squares), nullptr, always_exact,
                    nullptr),
    MORVELAY_FAMILY(rbf, 150, create_rbf, MORVELAY_FIT(rbf), nullptr, rbf_batch_exact, inspect_rbf),
    MORVELAY_FAMILY(chebyshev, 70, create_chebyshev, fit_chebyshev, nullptr, chebyshev_batch_exact, inspect_chebyshev),
};

// The handle's answers on a fixed probe, point by point (a failure is recorded as such, so a family that
// refuses some points, like chebyshev outside its interval, still shows the rest), then in one batch,
// then whatever the family adds.
Values probe(const Family& family, const void* handle, const Values& points, Random& random) {
    Values answers;
    for (double x : points) {
        double value = 0.0;
        const bool ok = family.eval(handle, x, &value) == 0;
        answers.push_back(ok ? 1.0 : 0.0);
        answers.push_back(ok ? value : 0.0);
    }
    Values out(points.size(), 0.0);
    if (family.eval_many(handle, points.data(), points.size(), out.data()) != 0) out.assign(1, -12345.0);
    answers.insert(answers.end(), out.begin(), out.end());
    if (family.inspect) family.inspect(handle, random, answers);
    return answers;
}

// Batch against single-point evaluation, for every point both accept.
void compare_batch(const Family& family, const void* handle, const Values& xs, const Values& out) {
    if (!family.batch_exact(handle)) return;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        double value = 0.0;
        if (family.eval(handle, xs[i], &value) != 0) continue;
        if (std::memcmp(&value, &out[i], sizeof value) != 0 && !(std::isnan(value) && std::isnan(out[i]))) {
            violation(family.name, "eval_many differs from eval");
            return;
        }
    }
}

std::uint64_t mix(std::uint64_t z) {
    z += 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

// One handle's whole life: create, a few rounds of fit, update, evaluate, destroy.
void run_handle(const FamilyEntry& entry, std::uint64_t handle_seed) {
    const Family& family = entry.family;
    static const Values points = {-1e9, -3.0, -1.0, -0.5, -0.0, 0.0, 0.3, 0.5, 1.0, 2.5, 7.0, 1e9, 5e-324};
    current_handle_seed = handle_seed;
    current_family_error = family.last_error;
    Random random(handle_seed);
    // The probe's own random choices (wrong weight lengths) come from a generator of their own, so that
    // probing twice asks the same questions.
    const std::uint64_t probe_seed = mix(handle_seed);
    void* handle = family.create(random);
    if (!handle) {
        if (morvelay_last_error(nullptr, 0) <= 1) violation(family.name, "create refused without a message");
        return;
    }
    const int rounds = 1 + static_cast<int>(random.below(4));
    for (int round = 0; round < rounds; ++round) {
        Random probe_random(probe_seed), again(probe_seed);
        const Values answers = probe(family, handle, points, probe_random);
        if (!status_ok(family.name, "fit", family.fit(handle, random))) {
            if (!same_bits(probe(family, handle, points, again), answers)) {
                violation(family.name, "failed fit changed the handle");
            }
        }
        if (family.update && random.chance(0.5)) {
            Random first(probe_seed), second(probe_seed);
            const Values kept = probe(family, handle, points, first);
            if (!status_ok(family.name, "update", family.update(handle, random))) {
                if (!same_bits(probe(family, handle, points, second), kept)) {
                    violation(family.name, "failed update changed the handle");
                }
            }
        }
        if (random.chance(0.1)) entry.null_arguments(family.name, handle, random);
        double value = 0.0;
        status_ok(family.name, "eval", family.eval(handle, random.value(), &value));
        const std::size_t n = random.length(500);
        Values xs = random.array(n), out(n);
        if (status_ok(family.name, "eval_many", family.eval_many(handle, xs.data(), n, out.data()))) {
            compare_batch(family, handle, xs, out);
        }
    }
    family.destroy(handle);
}

struct Run {
    std::vector<std::uint64_t> seeds;                            // explored for the time budget
    std::vector<std::pair<std::string, std::uint64_t>> replays;  // (family, handle seed), run once each
};

bool parse_seed(const std::string& text, std::uint64_t& seed) {
    char* end = nullptr;
    seed = std::strtoull(text.c_str(), &end, 10);
    return !text.empty() && end && *end == '\0';
}

Run read_run(const char* argument) {
    Run run;
    std::uint64_t seed = 0;
    if (parse_seed(argument, seed)) {
        run.seeds.push_back(seed);
        return run;
    }
    std::ifstream file(argument);
    if (!file) {
        std::fprintf(stderr, "cannot read seeds file %s\n", argument);
        std::exit(2);
    }
    std::string line;
    while (std::getline(file, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string first, second;
        if (!(words >> first)) continue;
        if (words >> second) {
            if (!parse_seed(second, seed)) std::exit((std::fprintf(stderr, "bad replay line: %s\n", line.c_str()), 2));
            run.replays.emplace_back(first, seed);
        } else {
            if (!parse_seed(first, seed)) std::exit((std::fprintf(stderr, "bad seed line: %s\n", line.c_str()), 2));
            run.seeds.push_back(seed);
        }
    }
    if (run.seeds.empty()) run.seeds.push_back(1);
    return run;
}

void run_family(const FamilyEntry& entry, std::size_t index, double seconds, const Run& run) {
    const Family& family = entry.family;
    const Stats before = stats;
    std::uint64_t handles = 0;
    for (const auto& [name, handle_seed] : run.replays) {
        if (name != family.name) continue;
        run_handle(entry, handle_seed);
        ++handles;
    }
    // The budget is shared equally by the run seeds.
    const double share = seconds / static_cast<double>(run.seeds.size());
    for (std::uint64_t seed : run.seeds) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(share);
        for (std::uint64_t k = 0; std::chrono::steady_clock::now() < deadline; ++k) {
            run_handle(entry, mix(mix(seed) ^ (index << 56) ^ k));
            ++handles;
        }
    }
    std::printf("%-14s %8llu handles %10llu calls %9llu refusals %llu violations\n", family.name,
                static_cast<unsigned long long>(handles), static_cast<unsigned long long>(stats.calls - before.calls),
                static_cast<unsigned long long>(stats.failures - before.failures),
                static_cast<unsigned long long>(stats.violations - before.violations));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    const Run run = read_run(argc > 2 ? argv[2] : "1");
    const char* only = argc > 3 ? argv[3] : nullptr;
    for (std::size_t index = 0; index < std::size(families); ++index) {
        if (only && std::strcmp(only, families[index].family.name) != 0) continue;
        run_family(families[index], index, seconds, run);
    }
    std::printf("%llu calls, %llu violations\n", static_cast<unsigned long long>(stats.calls),
                static_cast<unsigned long long>(stats.violations));
    return stats.violations == 0 ? 0 : 1;
}
