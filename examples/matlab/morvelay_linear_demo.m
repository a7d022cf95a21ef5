function morvelay_linear_demo()
% morvelay from MATLAB: piecewise linear interpolation through the C interface.
%
% Needs the standalone library and header, e.g. after
%   cmake -S . -B build/c && cmake --build build/c && cmake --install build/c --prefix ~/morvelay
% Adjust the two paths below.  Every handle from a _create function must be released with the matching
% _destroy: MATLAB does not know what the pointer owns.  The demo is a function so that its onCleanup
% object goes out of scope, and destroys the handle, when the function returns or fails; at script level
% it would live on in the workspace until cleared.  (Not run in the project's CI: no MATLAB there.)
%
% Types as loadlibrary maps the header: size_t -> uint64, int32_t -> int32, double* -> doublePtr, and the
% one bool (morvelay_chebyshev_create's use_clenshaw, _Bool once preprocessed) is one byte, 0 or 1: pass
% true/false or uint8(0)/uint8(1).

    libdir = fullfile(getenv('HOME'), 'morvelay', 'lib');
    incdir = fullfile(getenv('HOME'), 'morvelay', 'include');
    if ~libisloaded('morvelay')
        loadlibrary(fullfile(libdir, 'libmorvelay.so'), fullfile(incdir, 'morvelay.h'), 'alias', 'morvelay');
    end

    x = [2.0 0.0 1.0];
    y = [20.0 0.0 10.0];
    h = calllib('morvelay', 'morvelay_linear_create');
    cleanup = onCleanup(@() calllib('morvelay', 'morvelay_linear_destroy', h));

    check(calllib('morvelay', 'morvelay_linear_fit', h, x, numel(x), y, numel(y)));

    % One point: the result comes back through a pointer.
    out = libpointer('doublePtr', 0);
    check(calllib('morvelay', 'morvelay_linear_eval', h, 0.5, out));
    fprintf('f(0.5) = %g\n', out.Value);   % 5

    % Many points in one call.
    xq = linspace(-1, 3, 9);
    result = libpointer('doublePtr', zeros(size(xq)));
    check(calllib('morvelay', 'morvelay_linear_eval_many', h, xq, numel(xq), result));
    disp(result.Value);

    % A failure: repeated x.  The status is -1 and the message says why.
    status = calllib('morvelay', 'morvelay_linear_fit', h, [0 0], 2, [1 2], 2);
    fprintf('status %d: %s\n', status, last_error());
end

function check(status)
    if status ~= 0
        error('morvelay:failed', '%s', last_error());
    end
end

function text = last_error()
    % Ask for the size first (a null buffer), then read the message; char* arguments come back as outputs.
    needed = calllib('morvelay', 'morvelay_last_error', [], 0);
    [~, text] = calllib('morvelay', 'morvelay_last_error', blanks(double(needed)), needed);
end
