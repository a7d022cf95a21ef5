// Pickling: a core's state as a dict of plain values, the byte form of its arrays, and the object that
// stands for a class in a pickle.
//
// Pickle saves a class as its module and name, and these classes give the module "builtins", where they
// are not found.  So an instance reduces to (reference, (), state) with a reference object standing for
// its class: called, the reference creates an instance; pickled, it reduces to getattr(M, "<Class>"),
// where M is a second reference that reduces to __import__("morvelay").  Unpickling, in this process or
// another, thus finds the class in the installed module by name, and nothing is added to the module.
#include "pickle_state.hpp"

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/number_text.hpp"

namespace morvelay::python {

namespace {

constexpr const char* kModuleName = "morvelay";

struct Reference {
    PyObject_HEAD PyObject* target;  // the class, or null for the module itself
};

PyObject* builtin(const char* name) {
    Ref builtins(PyImport_ImportModule("builtins"));
    if (!builtins) return nullptr;
    return PyObject_GetAttrString(builtins.get(), name);
}

PyTypeObject* reference_type();

PyObject* new_reference(PyObject* target) {
    PyTypeObject* type = reference_type();
    if (!type) return nullptr;
    PyObject* self = type->tp_alloc(type, 0);
    if (!self) return nullptr;
    Py_XINCREF(target);
    reinterpret_cast<Reference*>(self)->target = target;
    return self;
}

void reference_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    Py_XDECREF(reinterpret_cast<Reference*>(self)->target);
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* reference_call(PyObject* self, PyObject* args, PyObject* kwargs) {
    PyObject* target = reinterpret_cast<Reference*>(self)->target;
    if (!target) {
        PyErr_Format(PyExc_TypeError, "the reference to module %s is not callable", kModuleName);
        return nullptr;
    }
    return PyObject_Call(target, args, kwargs);
}

PyObject* reference_repr(PyObject* self) {
    auto* target = reinterpret_cast<PyTypeObject*>(reinterpret_cast<Reference*>(self)->target);
    if (!target) return PyUnicode_FromFormat("<reference to module %s>", kModuleName);
    return PyUnicode_FromFormat("<reference to %s.%s>", kModuleName, type_name_of(target));
}

PyObject* reference_reduce(PyObject* self, PyObject*) {
    PyObject* target = reinterpret_cast<Reference*>(self)->target;
    if (!target) {
        Ref import(builtin("__import__"));
        if (!import) return nullptr;
        return Py_BuildValue("(O(s))", import.get(), kModuleName);
    }
    static PyObject* module = nullptr;  // one reference to the module serves every class
    if (!module && !(module = new_reference(nullptr))) return nullptr;
    Ref getattr(builtin("getattr"));
    if (!getattr) return nullptr;
    return Py_BuildValue("(O(Os))", getattr.get(), module, type_name_of(reinterpret_cast<PyTypeObject*>(target)));
}

PyTypeObject* reference_type() {
    static PyTypeObject* type = nullptr;
    if (type) return type;
    static PyMethodDef methods[] = {
        {"__reduce__", &reference_reduce, METH_NOARGS, nullptr},
        {nullptr, nullptr, 0, nullptr},
    };
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&reference_dealloc)},
        {Py_tp_call, reinterpret_cast<void*>(&reference_call)},
        {Py_tp_repr, reinterpret_cast<void*>(&reference_repr)},
        {Py_tp_methods, methods},
        {0, nullptr},
    };
    PyType_Spec spec = {"builtins.ClassReference", static_cast<int>(sizeof(Reference)), 0,
                        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, slots};
    type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
    if (type) type->tp_name = "ClassReference";
    return type;
}

// Arrays travel as little-endian binary64, whatever the byte order of the machine that saved them.
std::uint64_t little_endian(std::uint64_t bits) {
    if constexpr (std::endian::native == std::endian::big) {
        std::uint64_t swapped = 0;
        for (int i = 0; i < 8; ++i) swapped |= ((bits >> (8 * i)) & 0xff) << (8 * (7 - i));
        return swapped;
    }
    return bits;
}

PyObject* bytes_of(std::span<const double> values) {
    Ref bytes(PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(values.size() * sizeof(double))));
    if (!bytes) return nullptr;
    char* out = PyBytes_AS_STRING(bytes.get());
    if constexpr (std::endian::native == std::endian::little) {
        if (!values.empty()) std::memcpy(out, values.data(), values.size() * sizeof(double));
        return bytes.release();
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::uint64_t bits = little_endian(std::bit_cast<std::uint64_t>(values[i]));
        std::memcpy(out + i * sizeof(double), &bits, sizeof(bits));
    }
    return bytes.release();
}

std::vector<double> doubles_of(PyObject* bytes) {
    const auto n = static_cast<std::size_t>(PyBytes_GET_SIZE(bytes)) / sizeof(double);
    const char* in = PyBytes_AS_STRING(bytes);
    std::vector<double> values(n);
    if constexpr (std::endian::native == std::endian::little) {
        if (n) std::memcpy(values.data(), in, n * sizeof(double));
        return values;
    }
    for (std::size_t i = 0; i < n; ++i) {
        std::uint64_t bits;
        std::memcpy(&bits, in + i * sizeof(double), sizeof(bits));
        values[i] = std::bit_cast<double>(little_endian(bits));
    }
    return values;
}

PyObject* python_value(const StateValue& value) {
    if (const auto* array = std::get_if<std::vector<double>>(&value)) return bytes_of(*array);
    if (const auto* real = std::get_if<double>(&value)) return PyFloat_FromDouble(*real);
    if (const auto* count = std::get_if<std::uint64_t>(&value)) return PyLong_FromUnsignedLongLong(*count);
    if (const auto* integer = std::get_if<std::int64_t>(&value)) return PyLong_FromLongLong(*integer);
    // get_if throughout: std::get could throw, and would export the exception's type from the module.
    const auto* text = std::get_if<std::string>(&value);
    if (!text) {  // not reached: the alternatives are exhausted above
        PyErr_SetString(PyExc_SystemError, "a state value of no known kind");
        return nullptr;
    }
    return PyUnicode_DecodeUTF8(text->data(), static_cast<Py_ssize_t>(text->size()), "strict");
}

bool set_item(PyObject* dict, const char* key, PyObject* owned) {
    Ref value(owned);
    return value && PyDict_SetItemString(dict, key, value.get()) == 0;
}

// One plain Python value as a field value: exact bytes, float, int and str only, so nothing of the
// caller's runs and no subclass can pass itself off as data.  `detail` says why not, if not.
bool field_value(PyObject* object, StateValue& value, std::string& detail) {
    if (PyBytes_CheckExact(object)) {
        if (PyBytes_GET_SIZE(object) % static_cast<Py_ssize_t>(sizeof(double)) != 0) {
            detail = "holds " + format_count(static_cast<std::uint64_t>(PyBytes_GET_SIZE(object))) +
                     " bytes, not a whole number of doubles";
            return false;
        }
        value = doubles_of(object);
        return true;
    }
    if (PyFloat_CheckExact(object)) {
        value = PyFloat_AS_DOUBLE(object);
        return true;
    }
    if (PyLong_CheckExact(object)) {
        int overflow = 0;
        const long long signed_value = PyLong_AsLongLongAndOverflow(object, &overflow);
        if (overflow == 0 && !(signed_value == -1 && PyErr_Occurred())) {
            if (signed_value < 0) {
                value = static_cast<std::int64_t>(signed_value);
            } else {
                value = static_cast<std::uint64_t>(signed_value);
            }
            return true;
        }
        if (overflow > 0) {
            const unsigned long long unsigned_value = PyLong_AsUnsignedLongLong(object);
            if (!(unsigned_value == static_cast<unsigned long long>(-1) && PyErr_Occurred())) {
                value = static_cast<std::uint64_t>(unsigned_value);
                return true;
            }
        }
        PyErr_Clear();
        detail = "is an integer out of range";
        return false;
    }
    if (PyUnicode_CheckExact(object)) {
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(object, &size);
        if (!text) {
            PyErr_Clear();
            detail = "is not valid text";
            return false;
        }
        value = std::string(text, static_cast<std::size_t>(size));
        return true;
    }
    detail = std::string("has the unsupported type ") + Py_TYPE(object)->tp_name;
    return false;
}

// The text of a str, or nothing (for keys and the class name: a str that cannot be encoded is no name).
std::optional<std::string> utf8_of(PyObject* object) {
    if (!PyUnicode_Check(object)) return std::nullopt;
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(object, &size);
    if (!text) {
        PyErr_Clear();
        return std::nullopt;
    }
    return std::string(text, static_cast<std::size_t>(size));
}

}  // namespace

PyObject* raise_invalid_state(const char* class_name, std::string_view detail) {
    std::string message = "Invalid ";
    message += class_name;
    message += " state: ";
    message += detail;
    return raise_value_error(message);
}

PyObject* new_class_reference(PyTypeObject* type) { return new_reference(reinterpret_cast<PyObject*>(type)); }

PyObject* state_to_python(const char* class_name, const CoreState& state) {
    Ref dict(PyDict_New());
    if (!dict) return nullptr;
    if (!set_item(dict.get(), "class", PyUnicode_FromString(class_name)) ||
        !set_item(dict.get(), "version", PyLong_FromUnsignedLongLong(state.version))) {
        return nullptr;
    }
    for (const StateField& field : state.fields) {
        if (!set_item(dict.get(), field.name.c_str(), python_value(field.value))) return nullptr;
    }
    return dict.release();
}

bool state_from_python(const char* class_name, PyObject* object, CoreState& state) {
    if (!PyDict_CheckExact(object)) {
        raise_invalid_state(class_name, std::string("expected a dict, got ") + Py_TYPE(object)->tp_name);
        return false;
    }
    // With every key an exact str, looking keys up and reading values (exact built-in types only) runs no
    // code of the caller's, so the dict cannot change while it is read.
    Py_ssize_t position = 0;
    PyObject *key, *value;
    while (PyDict_Next(object, &position, &key, &value)) {
        if (!PyUnicode_CheckExact(key)) {
            raise_invalid_state(class_name, "a field name is not a str");
            return false;
        }
    }
    PyObject* saved_class = PyDict_GetItemString(object, "class");
    const std::optional<std::string> saved_name = saved_class ? utf8_of(saved_class) : std::nullopt;
    if (!saved_name) {
        raise_invalid_state(class_name, "no class name");
        return false;
    }
    if (*saved_name != class_name) {
        raise_invalid_state(class_name, "it was saved from " + *saved_name);
        return false;
    }
    PyObject* version = PyDict_GetItemString(object, "version");
    StateValue version_value;
    std::string detail;
    if (!version) {
        raise_invalid_state(class_name, "no format version");
        return false;
    }
    const std::uint64_t* version_number =
        field_value(version, version_value, detail) ? std::get_if<std::uint64_t>(&version_value) : nullptr;
    if (!version_number) {
        raise_invalid_state(class_name, "the format version must be a non-negative integer");
        return false;
    }
    CoreState read;
    read.version = *version_number;
    position = 0;
    while (PyDict_Next(object, &position, &key, &value)) {
        std::optional<std::string> name = utf8_of(key);
        if (!name) {
            raise_invalid_state(class_name, "a field name is not a str");
            return false;
        }
        if (*name == "class" || *name == "version") continue;
        StateValue field;
        if (!field_value(value, field, detail)) {
            raise_invalid_state(class_name, "field '" + *name + "' " + detail);
            return false;
        }
        read.fields.push_back({std::move(*name), std::move(field)});
    }
    state = std::move(read);
    return true;
}

}  // namespace morvelay::python
