"""Read mzXML 2.0 and 2.1 peak-list files through the orvo plug-in.

The reading is done by the extension module orvo._orvo; its names are this
package's. orvo.dask spreads many files over a Dask cluster.
"""

from . import _orvo

# Every public name of the extension, and its version and help text, so that
# orvo.open, orvo.Error, orvo.__version__ and help(orvo) are the extension's.
globals().update(
    {
        name: value
        for name, value in vars(_orvo).items()
        if not name.startswith("_") or name in ("__doc__", "__version__")
    }
)
