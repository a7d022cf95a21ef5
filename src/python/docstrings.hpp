// Docstring pieces the classes share, joined at compile time.
//
// What several classes say alike (how a call answers, the not-fitted error, the y and the length errors
// of a fit) is written once, below, and a class file names its own pieces:
// class_doc<Core, kClassHead, kNoText, kNoText, kClassExamples>.  Every docstring starts with its text
// signature, a line "--" and a blank line, as CPython reads __text_signature__.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace morvelay::python {

template <const std::string_view&... Parts>
inline constexpr auto joined_text = [] {
    std::array<char, (Parts.size() + ... + 0) + 1> text{};
    std::size_t at = 0;
    ((std::copy(Parts.begin(), Parts.end(), text.begin() + at), at += Parts.size()), ...);
    return text;
}();

template <const std::string_view&... Parts>
inline constexpr std::string_view joined{joined_text<Parts...>.data(), joined_text<Parts...>.size() - 1};

template <const std::string_view&... Parts>
inline constexpr const char* doc = joined_text<Parts...>.data();

inline constexpr std::string_view kCallDoc =
    "Calling the instance evaluates the fit: a float gives a float, a list of\n"
    "floats gives a list, and a one-dimensional float64 NumPy array gives a\n"
    "new array.\n"
    "\n";
inline constexpr std::string_view kRaisesDoc = "Raises\n------\nValueError\n";
inline constexpr std::string_view kExamplesDoc = "\nExamples\n--------\n";
inline constexpr std::string_view kFitYDoc = "y : list of float\n    Y coordinates of data points\n";
inline constexpr std::string_view kFitLengthErrorsDoc =
    "    \"x and y must have the same length (3 vs 2)\" (the two lengths)\n"
    "    \"x and y cannot be empty\"\n";
inline constexpr std::string_view kWhenUnfittedDoc = " when called before fit\n";
inline constexpr std::string_view kNotFittedOpen = "    \"Interpolator not fitted. ";
inline constexpr std::string_view kNotFittedClose = "\"";
inline constexpr std::string_view kNewline = "\n";

// The Core's not-fitted message as an entry of a Raises section, without its line end.
template <class Core>
inline constexpr std::string_view not_fitted_doc = joined<kNotFittedOpen, Core::kNotFittedHint, kNotFittedClose>;

inline constexpr std::string_view kNoText = "";

// A class docstring: Head (signature, description, parameters, ending in a blank line), how a call
// answers, the errors with the not-fitted one between Before and After, and the examples.
template <class Core, const std::string_view& Head, const std::string_view& Before, const std::string_view& After,
          const std::string_view&... Examples>
inline constexpr const char* class_doc =
    doc<Head, kCallDoc, kRaisesDoc, Before, not_fitted_doc<Core>, kWhenUnfittedDoc, After, kExamplesDoc, Examples...>;

// A method that needs a fit: Head (signature through its Parameters or Returns), the not-fitted error and
// then Errors, and the examples.
template <class Core, const std::string_view& Head, const std::string_view& Errors, const std::string_view&... Examples>
inline constexpr const char* fitted_method_doc =
    doc<Head, kNewline, kRaisesDoc, not_fitted_doc<Core>, kNewline, Errors, kExamplesDoc, Examples...>;

// fit(x, y): Head (signature through the x parameter), y, the length errors and then Errors, the examples.
template <const std::string_view& Head, const std::string_view& Errors, const std::string_view&... Examples>
inline constexpr const char* fit_xy_doc =
    doc<Head, kFitYDoc, kNewline, kRaisesDoc, kFitLengthErrorsDoc, Errors, kExamplesDoc, Examples...>;

}  // namespace morvelay::python
