! morvelay from Fortran 2018: interfaces to the C functions through ISO_C_BINDING, for the linear and
! chebyshev families (every other family follows the same pattern).  A handle is a type(c_ptr) passed by
! value; sizes are integer(c_size_t), statuses integer(c_int32_t), 0 or -1.  Arrays are passed as
! assumed-size arrays, which Fortran hands over as a pointer to their first element.
module morvelay
    use, intrinsic :: iso_c_binding, only: c_ptr, c_double, c_size_t, c_int32_t, c_bool, c_char, c_null_char
    implicit none
    private
    public :: morvelay_last_error, last_error_text
    public :: morvelay_linear_create, morvelay_linear_destroy, morvelay_linear_fit, morvelay_linear_eval, &
              morvelay_linear_eval_many
    public :: morvelay_chebyshev_create, morvelay_chebyshev_destroy, morvelay_chebyshev_nodes, &
              morvelay_chebyshev_fit, morvelay_chebyshev_eval, morvelay_chebyshev_eval_many

    interface
        function morvelay_last_error(buf, buf_len) bind(c, name="morvelay_last_error")
            import :: c_char, c_size_t
            character(kind=c_char), intent(out) :: buf(*)
            integer(c_size_t), value :: buf_len
            integer(c_size_t) :: morvelay_last_error
        end function

        function morvelay_linear_create() bind(c, name="morvelay_linear_create")
            import :: c_ptr
            type(c_ptr) :: morvelay_linear_create
        end function
        subroutine morvelay_linear_destroy(handle) bind(c, name="morvelay_linear_destroy")
            import :: c_ptr
            type(c_ptr), value :: handle
        end subroutine
        function morvelay_linear_fit(handle, x, x_len, y, y_len) bind(c, name="morvelay_linear_fit")
            import :: c_ptr, c_double, c_size_t, c_int32_t
            type(c_ptr), value :: handle
            real(c_double), intent(in) :: x(*), y(*)
            integer(c_size_t), value :: x_len, y_len
            integer(c_int32_t) :: morvelay_linear_fit
        end function
        function morvelay_linear_eval(handle, x, out_value) bind(c, name="morvelay_linear_eval")
            import :: c_ptr, c_double, c_int32_t
            type(c_ptr), value :: handle
            real(c_double), value :: x
            real(c_double), intent(out) :: out_value
            integer(c_int32_t) :: morvelay_linear_eval
        end function
        function morvelay_linear_eval_many(handle, x, len, out) bind(c, name="morvelay_linear_eval_many")
            import :: c_ptr, c_double, c_size_t, c_int32_t
            type(c_ptr), value :: handle
            real(c_double), intent(in) :: x(*)
            integer(c_size_t), value :: len
            real(c_double), intent(out) :: out(*)
            integer(c_int32_t) :: morvelay_linear_eval_many
        end function

        ! use_clenshaw is C's bool: logical(c_bool), one byte.
        function morvelay_chebyshev_create(n_points, x_min, x_max, use_clenshaw) &
                bind(c, name="morvelay_chebyshev_create")
            import :: c_ptr, c_double, c_size_t, c_bool
            integer(c_size_t), value :: n_points
            real(c_double), value :: x_min, x_max
            logical(c_bool), value :: use_clenshaw
            type(c_ptr) :: morvelay_chebyshev_create
        end function
        subroutine morvelay_chebyshev_destroy(handle) bind(c, name="morvelay_chebyshev_destroy")
            import :: c_ptr
            type(c_ptr), value :: handle
        end subroutine
        function morvelay_chebyshev_nodes(handle, out, len) bind(c, name="morvelay_chebyshev_nodes")
            import :: c_ptr, c_double, c_size_t, c_int32_t
            type(c_ptr), value :: handle
            real(c_double), intent(out) :: out(*)
            integer(c_size_t), value :: len
            integer(c_int32_t) :: morvelay_chebyshev_nodes
        end function
        function morvelay_chebyshev_fit(handle, y, len) bind(c, name="morvelay_chebyshev_fit")
            import :: c_ptr, c_double, c_size_t, c_int32_t
            type(c_ptr), value :: handle
            real(c_double), intent(in) :: y(*)
            integer(c_size_t), value :: len
            integer(c_int32_t) :: morvelay_chebyshev_fit
        end function
        function morvelay_chebyshev_eval(handle, x, out_value) bind(c, name="morvelay_chebyshev_eval")
            import :: c_ptr, c_double, c_int32_t
            type(c_ptr), value :: handle
            real(c_double), value :: x
            real(c_double), intent(out) :: out_value
            integer(c_int32_t) :: morvelay_chebyshev_eval
        end function
        function morvelay_chebyshev_eval_many(handle, x, len, out) bind(c, name="morvelay_chebyshev_eval_many")
            import :: c_ptr, c_double, c_size_t, c_int32_t
            type(c_ptr), value :: handle
            real(c_double), intent(in) :: x(*)
            integer(c_size_t), value :: len
            real(c_double), intent(out) :: out(*)
            integer(c_int32_t) :: morvelay_chebyshev_eval_many
        end function
    end interface

contains

    ! The calling thread's last error as a Fortran string: ask for the size, then read.
    function last_error_text() result(text)
        character(len=:), allocatable :: text
        character(kind=c_char), allocatable :: buf(:)
        integer(c_size_t) :: needed
        integer :: i
        character(kind=c_char) :: probe(1)
        needed = morvelay_last_error(probe, 0_c_size_t)
        allocate (buf(needed))
        needed = morvelay_last_error(buf, needed)
        allocate (character(len=int(needed) - 1) :: text)
        do i = 1, int(needed) - 1
            text(i:i) = buf(i)
        end do
    end function

end module morvelay
