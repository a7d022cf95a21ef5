"""help() reads well: every public class and method documents itself, and its examples run."""

import doctest
import inspect
import re

import pytest

import morvelay

from faces import FACES

CLASSES = [getattr(morvelay, name) for name in dir(morvelay) if not name.startswith("_")]
MEMBERS = [
    (cls, name) for cls in CLASSES for name, value in vars(cls).items() if not name.startswith("_") and callable(value)
]


@pytest.mark.parametrize(("cls", "name"), [(cls, None) for cls in CLASSES] + MEMBERS, ids=str)
def test_docstring_beyond_the_signature(cls, name):
    target = cls if name is None else getattr(cls, name)
    # __doc__ is what follows the "--" line; a signature-only docstring leaves it empty.
    assert target.__text_signature__ is not None
    assert target.__doc__ and len(target.__doc__.split()) >= 5
    signature = inspect.signature(target)
    if name is not None:
        assert next(iter(signature.parameters)) == "self"


def examples():
    finder = doctest.DocTestFinder(exclude_empty=True)
    tests = [test for cls in CLASSES for test in finder.find(cls, cls.__name__, globs=vars(morvelay))]
    tests += finder.find(morvelay, "morvelay", globs=vars(morvelay))
    return [test for test in tests if test.examples]


@pytest.mark.parametrize("test", examples(), ids=lambda test: test.name)
def test_docstring_examples_run(test):
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    runner.run(test)
    assert runner.failures == 0, f"{test.name}: {runner.failures} example(s) failed (output above)"


@pytest.mark.parametrize("face", FACES, ids=lambda face: face.name)
def test_documented_not_fitted_message_is_the_one_raised(face):
    # The docstrings quote the message from the same hint the core raises it with; a class or method
    # quoting another class's hint would mislead.
    cls = type(face.new())
    docs = [cls.__doc__] + [value.__doc__ for name, value in vars(cls).items() if callable(value)]
    quoted = {text for doc in docs for text in re.findall(r'"(Interpolator not fitted\.[^"]*)"', doc or "")}
    assert quoted <= {face.not_fitted}
