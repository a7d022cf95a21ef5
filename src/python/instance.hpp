// An instance of any of the nine classes: its layout, its borrow state, and how a call lets the GIL go.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <cstddef>
#include <limits>
#include <new>

namespace morvelay::python {

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

// The class name for argument errors ("LinearInterpolator() takes no arguments").
inline const char* type_name_of(PyTypeObject* type) noexcept { return type->tp_name; }

enum class Access { Shared, Exclusive };

// Takes the instance for the lifetime of the guard, or sets RuntimeError and tests false.
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

// Releasing the GIL costs little by itself, but taking it back may wait for another thread's switch
// interval, so only work of some ten microseconds or more lets it go.  Each class states where its fit
// (points of its first array) and a batch (queries) reach that on a 2020s x86-64 core: fits at about
// 10-40 ns per point for the O(n) ones, the O(n^2) and O(n^3) ones from a few dozen points; a batch at
// about 2 ns per query for the piecewise and low-degree forms, 30 ns and more for the global ones.
struct WithoutGilFrom {
    std::size_t fit_points;
    std::size_t batch_queries;
};

// Set by make_class before its type exists; until then nothing lets the GIL go.
template <class Core>
inline constinit WithoutGilFrom without_gil_from = {std::numeric_limits<std::size_t>::max(),
                                                    std::numeric_limits<std::size_t>::max()};

}  // namespace morvelay::python
