/* Built against an installed morvelay, once through find_package and once through pkg-config. */
#include <morvelay.h>
#include <stdio.h>

int main(void) {
    const double x[] = {0.0, 1.0, 2.0}, y[] = {0.0, 10.0, 20.0};
    double value = 0.0;
    morvelay_linear* h = morvelay_linear_create();
    int status = morvelay_linear_fit(h, x, 3, y, 3) || morvelay_linear_eval(h, 1.5, &value);
    morvelay_linear_destroy(h);
    if (status != 0 || value != 15.0) {
        fprintf(stderr, "consumer: unexpected result %g\n", value);
        return 1;
    }
    printf("consumer: ok\n");
    return 0;
}
