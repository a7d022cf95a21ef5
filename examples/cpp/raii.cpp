// morvelay from C++: each handle in a std::unique_ptr whose deleter is the family's _destroy, so no
// path (an early return, an exception) can leak one, and a -1 status turned into an exception carrying
// the library's message.  Build against an installed morvelay:
//   c++ -std=c++17 raii.cpp $(pkg-config --cflags --libs morvelay) -o raii && ./raii
#include <morvelay.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// One owner type per family: the deleter is the destroy function itself (NULL is never passed to it).
using Spline = std::unique_ptr<morvelay_cubic_spline, decltype(&morvelay_cubic_spline_destroy)>;
using Chebyshev = std::unique_ptr<morvelay_chebyshev, decltype(&morvelay_chebyshev_destroy)>;

std::string last_error() {
    std::string text(morvelay_last_error(nullptr, 0), '\0');
    morvelay_last_error(text.data(), text.size());
    text.pop_back();  // the terminating zero
    return text;
}

void check(int32_t status) {
    if (status != 0) throw std::runtime_error(last_error());
}

Spline make_spline() { return Spline(morvelay_cubic_spline_create(), &morvelay_cubic_spline_destroy); }

// A create that can refuse returns NULL with the reason in the last error.
Chebyshev make_chebyshev(std::size_t n, double x_min, double x_max) {
    Chebyshev handle(morvelay_chebyshev_create(n, x_min, x_max, true), &morvelay_chebyshev_destroy);
    if (!handle) throw std::runtime_error(last_error());
    return handle;
}

}  // namespace

int main() {
    try {
        const std::vector<double> x{0, 1, 2, 3}, y{0, 1, 8, 27};
        Spline spline = make_spline();
        check(morvelay_cubic_spline_fit(spline.get(), x.data(), x.size(), y.data(), y.size()));
        double value = 0;
        check(morvelay_cubic_spline_eval(spline.get(), 1.5, &value));
        std::printf("spline(1.5) = %g\n", value);  // not-a-knot ends reproduce the cubic: 3.375

        // Chebyshev: sample the function at the library's own nodes, then fit.
        Chebyshev cheb = make_chebyshev(5, 0.0, 2.0);
        std::vector<double> nodes(5), samples(5);
        check(morvelay_chebyshev_nodes(cheb.get(), nodes.data(), nodes.size()));
        for (std::size_t i = 0; i < nodes.size(); ++i) samples[i] = nodes[i] * nodes[i];
        check(morvelay_chebyshev_fit(cheb.get(), samples.data(), samples.size()));
        const std::vector<double> queries{0.5, 1.5};
        std::vector<double> out(queries.size());
        check(morvelay_chebyshev_eval_many(cheb.get(), queries.data(), queries.size(), out.data()));
        std::printf("cheb(0.5) = %.6f, cheb(1.5) = %.6f\n", out[0], out[1]);  // 0.250000, 2.250000

        check(morvelay_chebyshev_eval(cheb.get(), 3.0, &value));  // outside [0, 2]: throws
    } catch (const std::exception& error) {
        std::printf("error: %s\n", error.what());  // x value 3.0000 is outside interpolation range [...]
    }
    try {
        make_chebyshev(0, 0.0, 1.0);
    } catch (const std::exception& error) {
        std::printf("error: %s\n", error.what());  // n_points must be positive
    }
    return 0;
}
