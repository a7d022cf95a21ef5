// Cubic spline interpolation with not-a-knot ends.
//
// For four or more knots the third derivative is continuous across the second and the second-to-last
// knot (not-a-knot), so any cubic given as data is reproduced exactly, to rounding; three knots give the
// parabola through them and two the straight line.  Outside the data the end cubics extrapolate.  Fit is
// O(n): one tridiagonal solve by the Thomas algorithm.  Evaluation is one search (one multiplication on an
// evenly spaced grid) and three multiply-adds in the segment's local variable; a sorted batch is one pass.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core_contract.hpp"
#include "core_state.hpp"
#include "large_buffer.hpp"
#include "piecewise.hpp"

namespace morvelay {

// One cubic a + b*t + c*t^2 + d*t^3 with t = x - x_start: value, slope, half the curvature and a sixth of
// the third derivative at the left knot.  Carrying x_start keeps one evaluation within one 40-byte record.
struct SplineSegment {
    double a;
    double b;
    double c;
    double d;
    double x_start;
};

class CubicSplineCore : public PiecewiseKnots {
public:
    // Completes this core's not-fitted message; the faces' own fitted checks use it too.
    static constexpr std::string_view kNotFittedHint = kFitXYHint;

    CubicSplineCore() = default;

    Status fit(std::vector<double> x, std::vector<double> y);
    Result<double> evaluate_single(double xq) const;
    Status fill_many(std::span<const double> xs, std::span<double> out) const;

    // The state to save, and a core rebuilt from a saved one, every field checked (core_state.hpp).
    CoreState state() const;
    static Result<CubicSplineCore> restore(const CoreState& state);

    Result<std::size_t> num_segments() const;

    std::span<const SplineSegment> segments() const noexcept { return segments_; }

private:
    // Evaluation without the fitted check; the caller has made it.
    double eval_internal(double xq) const;
    // A million points take 40 MB of segments: large-buffer storage keeps the first fit off 4 KiB faults.
    LargeVector<SplineSegment> segments_;
};

}  // namespace morvelay
