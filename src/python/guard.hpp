// The error policy of the Python face, in one place: a core's failure text becomes ValueError(text)
// unchanged; an argument that cannot be converted becomes TypeError naming the argument; a conflicting use
// of one instance becomes RuntimeError without waiting; std::bad_alloc becomes MemoryError.  `guarded` is
// the only place where a C++ exception is caught, and a failed call never changes the instance.
//
// Owned references live in `Ref`, so an early return cannot leak one.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <new>
#include <string>
#include <utility>

namespace morvelay::python {

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

}  // namespace morvelay::python
