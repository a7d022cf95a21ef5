#include "instance.hpp"

namespace morvelay::python {

Borrow::Borrow(PyObject* self, Access access) noexcept : access_(access) {
    BorrowState& state = reinterpret_cast<InstanceHead*>(self)->borrow;
    int seen = state.count.load(std::memory_order_relaxed);
    if (access == Access::Shared) {
        while (seen >= 0) {
            if (state.count.compare_exchange_weak(seen, seen + 1, std::memory_order_acquire)) {
                state_ = &state;
                return;
            }
        }
        PyErr_SetString(PyExc_RuntimeError,
                        "Already mutably borrowed: the interpolator is being changed by another call");
        return;
    }
    seen = 0;
    if (state.count.compare_exchange_strong(seen, -1, std::memory_order_acquire)) {
        state_ = &state;
        return;
    }
    PyErr_SetString(PyExc_RuntimeError, "Already borrowed: the interpolator is in use by another call");
}

Borrow::~Borrow() {
    if (!state_) return;
    if (access_ == Access::Shared) {
        state_->count.fetch_sub(1, std::memory_order_release);
    } else {
        state_->count.store(0, std::memory_order_release);
    }
}

}  // namespace morvelay::python
