#include "class_table.hpp"

#include <structmember.h>

namespace morvelay::python {

bool in_main_interpreter() {
    if (PyInterpreterState_Get() == PyInterpreterState_Main()) return true;
    PyErr_SetString(PyExc_ImportError, "morvelay cannot be used in a sub-interpreter");
    return false;
}

PyObject* create_type(const ClassSlots& slots) {
    static PyMemberDef members[] = {
        {"__vectorcalloffset__", Py_T_PYSSIZET, static_cast<Py_ssize_t>(offsetof(InstanceHead, vectorcall)),
         Py_READONLY, nullptr},
        {nullptr, 0, 0, 0, nullptr},
    };
    PyType_Slot type_slots[] = {
        {Py_tp_doc, const_cast<char*>(slots.doc)},
        {Py_tp_methods, slots.methods},
        {Py_tp_new, reinterpret_cast<void*>(slots.construct)},
        {Py_tp_dealloc, reinterpret_cast<void*>(slots.dealloc)},
        {Py_tp_repr, reinterpret_cast<void*>(slots.repr)},
        {Py_tp_call, reinterpret_cast<void*>(&PyVectorcall_Call)},
        {Py_tp_members, members},
        {0, nullptr},
    };
    // Created as "builtins.<name>" so that __module__ is "builtins" without a warning, then renamed to
    // the bare name: tp_name carries no dot, as for a class defined in no module.
    std::string qualified = "builtins.";
    qualified += slots.name;
    PyType_Spec spec = {qualified.c_str(), static_cast<int>(slots.basic_size), 0,
                        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_VECTORCALL, type_slots};
    PyObject* type = PyType_FromSpec(&spec);
    if (type) reinterpret_cast<PyTypeObject*>(type)->tp_name = slots.name;
    return type;
}

std::vector<PyMethodDef> joined_methods(const PyMethodDef* methods, std::span<const PyMethodDef> more) {
    std::vector<PyMethodDef> table;
    for (const PyMethodDef* method = methods; method->ml_name; ++method) table.push_back(*method);
    table.insert(table.end(), more.begin(), more.end());
    table.push_back({nullptr, nullptr, 0, nullptr});
    return table;
}

}  // namespace morvelay::python
