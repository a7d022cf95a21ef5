// Pickling an instance: __reduce__ hands pickle the core's state as plain data, __setstate__ rebuilds the
// core from it.  What a core saves, and the checks of a restore, are the core's own (its state() and
// restore() in <method>_core.cpp); this face only carries the fields to and from Python values.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>
#include <utility>

#include "core/core_error.hpp"
#include "core/core_state.hpp"
#include "guard.hpp"
#include "instance.hpp"

namespace morvelay::python {

// A core's state as the plain data pickle stores: a dict of "class" (the class name), "version" and the
// core's fields, arrays as bytes of little-endian binary64, numbers as float and int, texts as str.
PyObject* state_to_python(const char* class_name, const CoreState& state);
// The reverse.  Anything but such a dict, made for this class, fails with ValueError.
bool state_from_python(const char* class_name, PyObject* object, CoreState& state);
// ValueError "Invalid {class} state: {detail}".
PyObject* raise_invalid_state(const char* class_name, std::string_view detail);
// A new object that stands for `type` in a pickle (see pickle_state.cpp), or null with the exception set.
PyObject* new_class_reference(PyTypeObject* type);

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

}  // namespace morvelay::python
