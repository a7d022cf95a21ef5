// The table a class file writes: its methods as `method<name, operation, access, parameters...>(doc)`,
// its constructor, its repr, and `make_class`, which turns them into the type object.  Parsing,
// conversion, the borrow, running without the GIL, the __call__ dispatch and pickling come with it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "call.hpp"
#include "convert.hpp"
#include "core/core_contract.hpp"
#include "core/number_text.hpp"
#include "guard.hpp"
#include "instance.hpp"
#include "pickle_state.hpp"

namespace morvelay::python {

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

// The core's own fit of arrays only, whose first array counts its points (never fit_function, which
// calls Python, nor an update of the values).
template <class Core, auto Operation, class... Types>
constexpr bool fit_may_run_without_gil() {
    if constexpr (sizeof...(Types) == 0 || !(std::is_same_v<Types, std::vector<double>> && ...)) {
        return false;
    } else if constexpr (!std::is_same_v<decltype(Operation), decltype(&Core::fit)>) {
        return false;
    } else {
        return Operation == &Core::fit;
    }
}

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
                if constexpr (fit_may_run_without_gil<Core, Operation, typename Params::type...>()) {
                    if (std::get<0>(values).size() >= without_gil_from<Core>.fit_points) {
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

// ---- constructors, repr and the type object -------------------------------------------------------------

// Instances live only in the main interpreter: a legacy sub-interpreter can still end up with a copy of
// the module (CPython copies single-phase modules into them), but not with objects built from it.
// Sets ImportError and returns false elsewhere.
bool in_main_interpreter();

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
// make_class<Core, constructor, repr>(name, doc, methods, without_gil): the type object of one class.
// `without_gil` says from how many points a fit, and from how many queries a batch, let the GIL go.
template <class Core, auto Construct, auto Repr>
PyObject* make_class(const char* name, const char* doc, PyMethodDef* methods, WithoutGilFrom without_gil) {
    static_assert(InterpolationCore<Core>);
    without_gil_from<Core> = without_gil;
    static std::vector<PyMethodDef> table = joined_methods(methods, protocol_methods<Core>());
    return create_type({name, doc, table.data(), sizeof(Instance<Core>), &new_entry<Core, Construct>,
                        &dealloc_entry<Core>, &repr_entry<Core, Repr>});
}

}  // namespace morvelay::python
