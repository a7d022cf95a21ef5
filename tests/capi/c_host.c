/* A plain C99 host of the standalone library: proves the header is C and that a program links and runs
 * without Python.  Prints one line per failed check and a closing "N passed, M failed". */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "morvelay.h"

static int passed = 0, failed = 0;

static void check(int condition, const char* what) {
    if (condition) {
        ++passed;
    } else {
        ++failed;
        printf("FAILED: %s\n", what);
    }
}

static int last_error_is(const char* expected) {
    char text[256];
    morvelay_last_error(text, sizeof text);
    return strcmp(text, expected) == 0;
}

static void linear_family(void) {
    const double x[] = {2.0, 0.0, 1.0}, y[] = {20.0, 0.0, 10.0};
    const double queries[] = {0.5, 1.5, -3.0, 7.0};
    double out[4], value = 0.0;
    morvelay_linear* h = morvelay_linear_create();
    check(h != NULL, "linear create");
    check(morvelay_linear_eval(h, 0.5, &value) == -1 && last_error_is("Interpolator not fitted. Call fit(x, y) first."),
          "linear eval before fit");
    check(morvelay_linear_fit(h, x, 3, y, 3) == 0, "linear fit");
    check(morvelay_linear_eval(h, 0.5, &value) == 0 && value == 5.0, "linear eval");
    check(morvelay_linear_eval_many(h, queries, 4, out) == 0 && out[0] == 5.0 && out[1] == 15.0 && out[2] == 0.0 &&
              out[3] == 20.0,
          "linear eval_many");
    check(morvelay_linear_fit(h, x, 3, y, 2) == -1 && last_error_is("x and y must have the same length"),
          "linear fit length check");
    check(morvelay_linear_eval(h, NAN, &value) == 0 && isnan(value), "linear NaN query");
    check(morvelay_linear_eval(NULL, 0.0, NULL) == -1 && last_error_is("linear handle is null"), "linear null handle");
    check(morvelay_linear_last_error(NULL, 0) == strlen("linear handle is null") + 1, "linear last_error size");
    morvelay_linear_destroy(h);
    morvelay_linear_destroy(NULL);
}

int main(void) {
    linear_family();
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
