! Fits and evaluates through the morvelay module; every handle is destroyed before the program ends.
!   gfortran morvelay.f90 demo.f90 $(pkg-config --libs morvelay) -o demo && ./demo
program demo
    use, intrinsic :: iso_c_binding, only: c_ptr, c_double, c_size_t, c_int32_t, c_bool, c_associated
    use morvelay
    implicit none
    type(c_ptr) :: linear, cheb
    real(c_double) :: x(3) = [2.0_c_double, 0.0_c_double, 1.0_c_double]
    real(c_double) :: y(3) = [20.0_c_double, 0.0_c_double, 10.0_c_double]
    real(c_double) :: queries(2) = [0.5_c_double, 1.5_c_double], out(2), value
    real(c_double) :: nodes(5), samples(5)

    linear = morvelay_linear_create()
    call check(morvelay_linear_fit(linear, x, 3_c_size_t, y, 3_c_size_t))
    call check(morvelay_linear_eval_many(linear, queries, 2_c_size_t, out))
    print '(a, 2f8.3)', 'linear:', out                                 ! 5.000 15.000
    if (morvelay_linear_fit(linear, [0.0_c_double, 0.0_c_double], 2_c_size_t, y, 2_c_size_t) /= 0) then
        print '(a)', 'error: '//last_error_text()                    ! x values must be distinct
    end if
    call morvelay_linear_destroy(linear)

    ! Chebyshev: sample at the library's own nodes (largest first), then fit.
    cheb = morvelay_chebyshev_create(5_c_size_t, 0.0_c_double, 2.0_c_double, .true._c_bool)
    if (.not. c_associated(cheb)) error stop 'chebyshev create failed'
    call check(morvelay_chebyshev_nodes(cheb, nodes, 5_c_size_t))
    samples = nodes**3
    call check(morvelay_chebyshev_fit(cheb, samples, 5_c_size_t))
    call check(morvelay_chebyshev_eval(cheb, 1.5_c_double, value))
    print '(a, f10.6)', 'chebyshev:', value                           ! 3.375000
    if (morvelay_chebyshev_eval(cheb, 3.0_c_double, value) /= 0) then
        print '(a)', 'error: '//last_error_text()  ! x value 3.0000 is outside interpolation range [0.0000, 2.0000]
    end if
    call morvelay_chebyshev_destroy(cheb)

contains

    subroutine check(status)
        integer(c_int32_t), intent(in) :: status
        if (status /= 0) then
            print '(a)', 'morvelay: '//last_error_text()
            error stop 1
        end if
    end subroutine

end program demo
