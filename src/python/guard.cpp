#include "guard.hpp"

namespace morvelay::python {

PyObject* raise_value_error(const std::string& message) {
    Ref text(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    if (text) PyErr_SetObject(PyExc_ValueError, text.get());
    return nullptr;
}

void set_memory_error() { PyErr_NoMemory(); }

}  // namespace morvelay::python
