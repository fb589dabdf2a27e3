# The outer package `zelko` is not part of this tree: a stand-in module
# holds the built extension's directory as its path and gives the one name
# the extension needs from it, _unpickle.
import os
import sys
import types

import pytest

_dir = os.environ.get("ZELKO_PY_DIR")
if not _dir:
    raise RuntimeError("ZELKO_PY_DIR must name the directory holding zelko/_zelko*.so")

pkg = types.ModuleType("zelko")
pkg.__path__ = [os.path.join(_dir, "zelko")]


def _unpickle(b):
    from zelko import _zelko
    return _zelko.from_bytes(b)


pkg._unpickle = _unpickle
sys.modules["zelko"] = pkg

from zelko import _zelko  # noqa: E402

_zelko.init()


@pytest.fixture
def zk():
    return _zelko
