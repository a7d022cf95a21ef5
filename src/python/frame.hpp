// What all nine Python classes share.
//
// Error policy, in one place: a core's failure text becomes ValueError(text) unchanged; an argument that
// cannot be converted becomes TypeError naming the argument; a conflicting use of one instance becomes
// RuntimeError without waiting; std::bad_alloc becomes MemoryError.  No C++ exception leaves this file's
// wrappers, and a failed call never changes the instance.
//
// A class file is a table: its methods as `method<name, operation, access, parameters...>(docstring)`,
// its constructor, its repr, and `make_class`.  The frame supplies instance layout, argument parsing,
// conversions, the borrow guard, the __call__ dispatch and the type object.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <functional>
#include <limits>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/core_state.hpp"
#include "core/core_trait.hpp"
#include "core/number_text.hpp"

namespace morvelay {
class ChebyshevCore;
class CubicSplineCore;
class HermiteCore;
class LagrangeCore;
class LeastSquaresCore;
class LinearCore;
class NewtonCore;
class QuadraticCore;
class RBFCore;
}  // namespace morvelay

namespace morvelay::python {

// ---- owned references -------------------------------------------------------------------------------

// Owns one strong reference; an early return cannot leak it.
class Ref {
public:
    Ref() = default;
    explicit Ref(PyObject* owned) noexcept : object_(owned) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ~Ref() { Py_XDECREF(object_); }

    PyObject* get() const noexcept { return object_; }
    PyObject* release() noexcept { return std::exchange(object_, nullptr); }
    explicit operator bool() const noexcept { return object_ != nullptr; }

private:
    PyObject* object_ = nullptr;
};

// ---- instance layout and borrow state -----------------------------------------------------------------

// Free, shared by N readers (N > 0), or held exclusively (-1).  Conflicts are refused, never waited
// for: the only way to meet one is re-entrance from Python code run inside a call on the same
// instance, or another thread on a free-threaded build.
struct BorrowState {
    std::atomic<int> count{0};
};

struct InstanceHead {
    PyObject_HEAD vectorcallfunc vectorcall;  // instances are called through vectorcall: no tuple per call
    BorrowState borrow;
};

// The core lives in raw storage so the whole object stays standard-layout for CPython's allocator.
template <class Core>
struct Instance {
    InstanceHead head;
    alignas(Core) unsigned char storage[sizeof(Core)];

    Core& core() noexcept { return *std::launder(reinterpret_cast<Core*>(storage)); }
};

template <class Core>
Core& core_of(PyObject* self) noexcept {
    return reinterpret_cast<Instance<Core>*>(self)->core();
}

enum class Access { Shared, Exclusive };

class Borrow {
public:
    Borrow(PyObject* self, Access access) noexcept;
    Borrow(const Borrow&) = delete;
    Borrow& operator=(const Borrow&) = delete;
    ~Borrow();
    explicit operator bool() const noexcept { return state_ != nullptr; }

private:
    BorrowState* state_ = nullptr;
    Access access_;
};

// ---- running without the GIL --------------------------------------------------------------------------

// Releases the GIL for its lifetime (when asked to), so other Python threads run meanwhile.  Whatever
// runs inside touches no Python object: arguments are converted before, results built after.  The
// instance's borrow is held across, so a refit from another thread is refused rather than waited for.
class WithoutGil {
public:
    explicit WithoutGil(bool release = true) noexcept : state_(release ? PyEval_SaveThread() : nullptr) {}
    WithoutGil(const WithoutGil&) = delete;
    WithoutGil& operator=(const WithoutGil&) = delete;
    ~WithoutGil() {
        if (state_) PyEval_RestoreThread(state_);
    }

private:
    PyThreadState* state_;
};

// The cores in the order of the two tables' columns.
template <class Core, class First, class... Rest>
constexpr std::size_t column_of() {
    if constexpr (std::is_same_v<Core, First>) {
        return 0;
    } else {
        static_assert(sizeof...(Rest) > 0, "a core missing from the tables below");
        return 1 + column_of<Core, Rest...>();
    }
}
template <class Core>
inline constexpr std::size_t kColumn = column_of<Core, LinearCore, QuadraticCore, CubicSplineCore, LeastSquaresCore,
                                                 NewtonCore, LagrangeCore, HermiteCore, ChebyshevCore, RBFCore>();

// Releasing the GIL costs little by itself, but taking it back may wait for another thread's switch
// interval, so only work of some ten microseconds or more lets it go.  The sizes below are where a fit
// (points of its first array) or a batch (queries) reaches that on a 2020s x86-64 core: fits at about
// 10-40 ns per point for the O(n) ones, the O(n^2) and O(n^3) ones from a few dozen points; a batch at
// about 2 ns per query for the piecewise and low-degree forms, 30 ns and more for the global ones.
//                                                  linear quadr. spline lsq   newton lagr. hermite cheb. rbf
inline constexpr std::size_t kFitWithoutGilFrom[] = {4096, 1024, 1024, 2048, 160, 80, 64, 128, 40};
inline constexpr std::size_t kBatchWithoutGilFrom[] = {4096, 4096, 4096, 4096, 256, 256, 256, 512, 256};

template <class Core>
inline constexpr std::size_t fit_without_gil_from = kFitWithoutGilFrom[kColumn<Core>];
template <class Core>
inline constexpr std::size_t evaluate_without_gil_from = kBatchWithoutGilFrom[kColumn<Core>];

// ---- errors -----------------------------------------------------------------------------------------

PyObject* raise_value_error(const std::string& message);
void set_memory_error();

// Runs a wrapper body; the one place where C++ exceptions are turned into Python ones.
template <class Body>
auto guarded(Body&& body) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        set_memory_error();
    } catch (const std::exception& error) {
        PyErr_SetString(PyExc_RuntimeError, error.what());
    } catch (...) {
        PyErr_SetString(PyExc_RuntimeError, "unknown internal error");
    }
    return {};
}

// ---- argument parsing and conversion --------------------------------------------------------------------

// Matches positional and keyword arguments to `names` (the first `required` of them mandatory) into
// `slots`; missing optional arguments stay null.  Errors read like CPython's own.
bool parse_arguments(const char* function, std::span<const char* const> names, std::size_t required,
                     PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** slots);
// The same for tp_new's (args tuple, kwargs dict) form.
bool parse_tuple_arguments(const char* function, std::span<const char* const> names, std::size_t required,
                           PyObject* args, PyObject* kwargs, PyObject** slots);

// The float rule: an exact float directly, otherwise CPython's float conversion.  An array with one or
// more dimensions is not a float, whatever its length.
bool to_double(PyObject* object, double& value);
bool convert_float(PyObject* object, const char* name, double& value);
// The sequence rule: str, iterators, sets and mappings refused; every item by the float rule.
bool convert_array(PyObject* object, const char* name, std::vector<double>& values);
// bool or NumPy bool only (0 and 1 are refused).
bool convert_bool(PyObject* object, const char* name, bool& value);
// An integer by the index protocol, as an unsigned 64-bit value (negative -> OverflowError).
bool convert_unsigned(PyObject* object, const char* name, std::size_t& value);
// A str (or subclass) as UTF-8; a str that cannot be encoded raises the encoder's own exception.
bool convert_text(PyObject* object, const char* name, std::string& value);

template <std::size_t N>
struct Name {
    char text[N];
    constexpr Name(const char (&source)[N]) { std::copy_n(source, N, text); }
};

// Parameter kinds of a method table entry.
template <Name ParameterName>
struct Array {
    using type = std::vector<double>;
    static constexpr const char* name = ParameterName.text;
    static bool convert(PyObject* object, type& value) { return convert_array(object, name, value); }
};
template <Name ParameterName>
struct Float {
    using type = double;
    static constexpr const char* name = ParameterName.text;
    static bool convert(PyObject* object, type& value) { return convert_float(object, name, value); }
};
template <Name ParameterName>
struct Bool {
    using type = bool;
    static constexpr const char* name = ParameterName.text;
    static bool convert(PyObject* object, type& value) { return convert_bool(object, name, value); }
};

// Any Python object, passed on as a borrowed reference (alive for the whole call): for operations that
// call back into Python, such as a function to sample.
template <Name ParameterName>
struct Object {
    using type = PyObject*;
    static constexpr const char* name = ParameterName.text;
    static bool convert(PyObject* object, type& value) {
        value = object;
        return true;
    }
};

// ---- results to Python ----------------------------------------------------------------------------------

PyObject* to_list(std::span<const double> values);

inline PyObject* to_python(double value) { return PyFloat_FromDouble(value); }
inline PyObject* to_python(std::size_t value) { return PyLong_FromSize_t(value); }
inline PyObject* to_python(bool value) { return PyBool_FromLong(value); }
inline PyObject* to_python(std::span<const double> values) { return to_list(values); }
inline PyObject* to_python(const std::vector<double>& values) { return to_list(values); }
inline PyObject* to_python(const Status& status) {
    if (!status) return raise_value_error(status.error());
    Py_RETURN_NONE;
}
// An operation that talks to Python itself hands back its answer, or null with the exception it met.
inline PyObject* to_python(Ref&& value) { return value.release(); }
template <class T>
PyObject* to_python(const Result<T>& result) {
    if (!result) return raise_value_error(result.error());
    return to_python(result.value());
}

// ---- method table entries -------------------------------------------------------------------------------

// The core type an operation works on: a member function of the core, or a free function taking it first.
template <class Operation>
struct OperationCore;
template <class R, class C, class... A>
struct OperationCore<R (C::*)(A...)> {
    using type = C;
};
template <class R, class C, class... A>
struct OperationCore<R (C::*)(A...) const> {
    using type = C;
};
template <class R, class C, class... A>
struct OperationCore<R (C::*)(A...) noexcept> {
    using type = C;
};
template <class R, class C, class... A>
struct OperationCore<R (C::*)(A...) const noexcept> {
    using type = C;
};
template <class R, class C, class... A>
struct OperationCore<R (*)(C&, A...)> {
    using type = std::remove_const_t<C>;
};

template <auto Operation, class Core, class... Values>
PyObject* invoke_operation(Core& core, Values&&... values) {
    using R = decltype(std::invoke(Operation, core, std::forward<Values>(values)...));
    if constexpr (std::is_void_v<R>) {
        std::invoke(Operation, core, std::forward<Values>(values)...);
        Py_RETURN_NONE;
    } else {
        return to_python(std::invoke(Operation, core, std::forward<Values>(values)...));
    }
}

// A fit of arrays only (never fit_function, which calls Python).
template <class Core, Name MethodName, class... Types>
inline constexpr bool fit_may_run_without_gil = [] {
    if constexpr (sizeof...(Types) == 0) {
        return false;
    } else {
        return std::string_view(MethodName.text) == "fit" && (std::is_same_v<Types, std::vector<double>> && ...);
    }
}();

// method_entry<"fit", &LinearCore::fit, Access::Exclusive, Array<"x">, Array<"y">>: borrow the instance,
// parse and convert the arguments in order (the first failure names its argument), call the operation
// once, and turn its result into a Python value or exception.
template <Name MethodName, auto Operation, Access A, class... Params>
PyObject* method_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    using Core = typename OperationCore<decltype(Operation)>::type;
    return guarded([&]() -> PyObject* {
        Borrow borrow(self, A);
        if (!borrow) return nullptr;
        static constexpr const char* names[] = {Params::name..., nullptr};
        PyObject* slots[sizeof...(Params) + 1] = {};
        if (!parse_arguments(MethodName.text, std::span(names, sizeof...(Params)), sizeof...(Params), args, nargs,
                             kwnames, slots)) {
            return nullptr;
        }
        return [&]<std::size_t... I>(std::index_sequence<I...>) -> PyObject* {
            std::tuple<typename Params::type...> values;
            if (!(Params::convert(slots[I], std::get<I>(values)) && ...)) return nullptr;
            if constexpr (A == Access::Exclusive) {
                Core& core = core_of<Core>(self);
                if constexpr (fit_may_run_without_gil<Core, MethodName, typename Params::type...>) {
                    if (std::get<0>(values).size() >= fit_without_gil_from<Core>) {
                        auto result = [&] {
                            WithoutGil released;
                            return std::invoke(Operation, core, std::move(std::get<I>(values))...);
                        }();
                        return to_python(result);
                    }
                }
                return invoke_operation<Operation>(core, std::move(std::get<I>(values))...);
            } else {
                return invoke_operation<Operation>(std::as_const(core_of<Core>(self)),
                                                   std::move(std::get<I>(values))...);
            }
        }(std::index_sequence_for<Params...>{});
    });
}

template <Name MethodName, auto Operation, Access A, class... Params>
PyMethodDef method(const char* doc) {
    return {
        MethodName.text,
        reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&method_entry<MethodName, Operation, A, Params...>)),
        METH_FASTCALL | METH_KEYWORDS, doc};
}

inline constexpr PyMethodDef end_of_methods = {nullptr, nullptr, 0, nullptr};

// A getter that needs a fitted core: method<"get_coefficients", &fitted_read<Core, &Core::coefficients>,
// Access::Shared>.  Before a fit it fails with the core's not-fitted message.
template <class Core, auto Read>
auto fitted_read(const Core& core) -> Result<decltype(std::invoke(Read, core))> {
    if (!core.fitted()) return CoreError::not_fitted(Core::kNotFittedHint);
    return std::invoke(Read, core);
}

// ---- docstrings -------------------------------------------------------------------------------------------

// Docstrings are joined at compile time from named pieces, so what several classes say alike (how a call
// answers, the not-fitted error, the y and the length errors of a fit) is written once, below, and a class
// file names its own pieces: class_doc<Core, kClassHead, kNoText, kNoText, kClassExamples>.
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

// ---- __call__ -------------------------------------------------------------------------------------------

// Type-erased evaluation, so the dispatch below is written once for all cores.
struct Evaluation {
    Result<double> (*single)(const void* core, double x);
    Status (*many)(const void* core, std::span<const double> xs, std::span<double> out);
    std::size_t many_without_gil_from;  // batches of this many queries or more let the GIL go
};

template <class Core>
inline constexpr Evaluation evaluation_of = {
    [](const void* core, double x) { return static_cast<const Core*>(core)->evaluate_single(x); },
    [](const void* core, std::span<const double> xs, std::span<double> out) {
        return static_cast<const Core*>(core)->fill_many(xs, out);
    },
    evaluate_without_gil_from<Core>,
};

// float -> float, 1-D float64 array -> new array, sequence -> list, anything else -> ValueError.  Large
// batches are evaluated without the GIL.
PyObject* dispatch_call(const void* core, const Evaluation& evaluation, PyObject* x);

template <class Core>
PyObject* call_entry(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) noexcept {
    return guarded([&]() -> PyObject* {
        Borrow borrow(self, Access::Shared);
        if (!borrow) return nullptr;
        const Core& core = core_of<Core>(self);
        const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
        // The scalar call is the one users make in loops: no parsing beyond this test.
        if (nargs == 1 && kwnames == nullptr && PyFloat_CheckExact(args[0])) {
            Result<double> value = core.evaluate_single(PyFloat_AS_DOUBLE(args[0]));
            if (!value) return raise_value_error(value.error());
            return PyFloat_FromDouble(value.value());
        }
        if (nargs == 1 && kwnames == nullptr) return dispatch_call(&core, evaluation_of<Core>, args[0]);
        static constexpr const char* names[] = {"x", nullptr};
        PyObject* x = nullptr;
        if (!parse_arguments("__call__", std::span(names, 1), 1, args, nargs, kwnames, &x)) return nullptr;
        return dispatch_call(&core, evaluation_of<Core>, x);
    });
}

// ---- constructors, repr and the type object -------------------------------------------------------------

// Instances live only in the main interpreter: a legacy sub-interpreter can still end up with a copy of
// the module (CPython copies single-phase modules into them), but not with objects built from it.
// Sets ImportError and returns false elsewhere.
bool in_main_interpreter();

// The class name for argument errors ("LinearInterpolator() takes no arguments").
const char* type_name_of(PyTypeObject* type) noexcept;

// For classes whose constructor takes no arguments.
template <class Core>
std::optional<Core> no_arguments(const char* class_name, PyObject* args, PyObject* kwargs) {
    if (!parse_tuple_arguments(class_name, {}, 0, args, kwargs, nullptr)) return std::nullopt;
    return Core{};
}

// A core failure of a constructor, as ValueError; handy for classes whose core validates its arguments.
template <class Core>
std::optional<Core> constructed(Result<Core> made) {
    if (!made) {
        raise_value_error(made.error());
        return std::nullopt;
    }
    return std::move(made).value();
}

// A new instance of `type` owning `core`.
template <class Core>
PyObject* adopt(PyTypeObject* type, Core&& core) {
    Ref self(type->tp_alloc(type, 0));
    if (!self) return nullptr;
    auto* instance = reinterpret_cast<Instance<Core>*>(self.get());
    new (instance->storage) Core(std::move(core));
    new (&instance->head.borrow) BorrowState();
    instance->head.vectorcall = &call_entry<Core>;
    return self.release();
}

template <class Core, auto Construct>
PyObject* new_entry(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return guarded([&]() -> PyObject* {
        if (!in_main_interpreter()) return nullptr;
        std::optional<Core> core = Construct(type_name_of(type), args, kwargs);
        if (!core) return nullptr;
        return adopt(type, std::move(*core));
    });
}

template <class Core>
void dealloc_entry(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    core_of<Core>(self).~Core();
    type->tp_free(self);
    Py_DECREF(type);  // instances of heap types own a reference to their type
}

// The repr of a class that shows only how many points it holds: "{Open}not fitted)" before a fit,
// "{Open}fitted with {n} points{Close}" after ("points" even for one).
template <Name Open, Name Close, class Core>
std::string points_repr(const Core& core) {
    const std::string open = Open.text;
    if (!core.fitted()) return open + "not fitted)";
    return open + "fitted with " + format_count(core.x_values().size()) + " points" + Close.text;
}

template <class Core, auto Repr>
PyObject* repr_entry(PyObject* self) noexcept {
    return guarded([&]() -> PyObject* {
        Borrow borrow(self, Access::Shared);
        if (!borrow) return nullptr;
        const std::string text = Repr(std::as_const(core_of<Core>(self)));
        return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    });
}

// ---- pickling and copying -------------------------------------------------------------------------------

// A core's state as the plain data pickle stores: a dict of "class" (the class name), "version" and the
// core's fields, arrays as bytes of little-endian binary64, numbers as float and int, texts as str.
PyObject* state_to_python(const char* class_name, const CoreState& state);
// The reverse.  Anything but such a dict, made for this class, fails with ValueError.
bool state_from_python(const char* class_name, PyObject* object, CoreState& state);
// ValueError "Invalid {class} state: {detail}".
PyObject* raise_invalid_state(const char* class_name, std::string_view detail);
// A new object that stands for `type` in a pickle (see frame.cpp), or null with the exception set.
PyObject* new_class_reference(PyTypeObject* type);

// (reference to the class, (), state): unpickling calls the class with no arguments and hands the new
// instance the state.  The reference is made once per class and kept, so a pickle of many instances
// names the class once.
template <class Core>
PyObject* reduce_entry(PyObject* self, PyObject*) noexcept {
    return guarded([&]() -> PyObject* {
        static PyObject* reference = nullptr;
        if (!reference && !(reference = new_class_reference(Py_TYPE(self)))) return nullptr;
        Borrow borrow(self, Access::Shared);
        if (!borrow) return nullptr;
        Ref state(state_to_python(type_name_of(Py_TYPE(self)), core_of<Core>(self).state()));
        if (!state) return nullptr;
        return Py_BuildValue("(O()O)", reference, state.get());
    });
}

// Replaces the core with one rebuilt from the state, or leaves it as it was and raises ValueError.
template <class Core>
PyObject* setstate_entry(PyObject* self, PyObject* object) noexcept {
    return guarded([&]() -> PyObject* {
        Borrow borrow(self, Access::Exclusive);
        if (!borrow) return nullptr;
        const char* class_name = type_name_of(Py_TYPE(self));
        CoreState state;
        if (!state_from_python(class_name, object, state)) return nullptr;
        Result<Core> restored = Core::restore(state);
        if (!restored) return raise_invalid_state(class_name, restored.error());
        core_of<Core>(self) = std::move(restored).value();
        Py_RETURN_NONE;
    });
}

// __copy__ and __deepcopy__ alike: a core holds no Python objects, so a copy of it is a deep copy.
template <class Core>
PyObject* copy_entry(PyObject* self, PyObject*) noexcept {
    return guarded([&]() -> PyObject* {
        Borrow borrow(self, Access::Shared);
        if (!borrow) return nullptr;
        return adopt(Py_TYPE(self), Core(std::as_const(core_of<Core>(self))));
    });
}

template <class Core>
std::array<PyMethodDef, 4> protocol_methods() {
    return {{
        {"__reduce__", &reduce_entry<Core>, METH_NOARGS,
         "__reduce__($self, /)\n--\n\nHelper for pickle: a reference to the class, no arguments, and the "
         "state."},
        {"__setstate__", &setstate_entry<Core>, METH_O,
         "__setstate__($self, state, /)\n--\n\nReplace the state with a saved one, as unpickling does; a "
         "state that fails its checks raises ValueError and changes nothing."},
        {"__copy__", &copy_entry<Core>, METH_NOARGS, "__copy__($self, /)\n--\n\nReturn an independent copy."},
        {"__deepcopy__", &copy_entry<Core>, METH_O, "__deepcopy__($self, memo, /)\n--\n\nReturn an independent copy."},
    }};
}

// The class's own methods followed by the protocol entries, in one table that lives as long as the type.
std::vector<PyMethodDef> joined_methods(const PyMethodDef* methods, std::span<const PyMethodDef> more);

struct ClassSlots {
    const char* name;  // bare class name: the type is made with __module__ "builtins"
    const char* doc;   // starts with the text signature, then "--" and a blank line
    PyMethodDef* methods;
    std::size_t basic_size;
    newfunc construct;
    destructor dealloc;
    reprfunc repr;
};

PyObject* create_type(const ClassSlots& slots);

// make_class<Core, constructor, repr>(name, doc, methods): the type object of one interpolator class.
template <class Core, auto Construct, auto Repr>
PyObject* make_class(const char* name, const char* doc, PyMethodDef* methods) {
    static_assert(InterpolationCore<Core>);
    static std::vector<PyMethodDef> table = joined_methods(methods, protocol_methods<Core>());
    return create_type({name, doc, table.data(), sizeof(Instance<Core>), &new_entry<Core, Construct>,
                        &dealloc_entry<Core>, &repr_entry<Core, Repr>});
}

}  // namespace morvelay::python
