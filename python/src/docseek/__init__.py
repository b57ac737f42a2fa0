# SPDX-License-Identifier: MIT
"""docseek: search the web for documents by type through the docseek plug-in.

    import docseek
    for record in docseek.search("annual report", types=["pdf"], count=5):
        print(record.title, record.link)
"""

from __future__ import annotations

import threading
from typing import List, Optional, Sequence

from ._plugin import DEFAULT_TYPES, DocseekError, Plugin, Record, plugin_candidates

__all__ = [
    "DEFAULT_TYPES",
    "DocseekError",
    "Plugin",
    "Record",
    "counts",
    "plugin_candidates",
    "search",
    "types",
]
__version__ = "0.1.0"

_default: Optional[Plugin] = None
_default_lock = threading.Lock()


def _plugin() -> Plugin:
    global _default
    with _default_lock:
        if _default is None:
            _default = Plugin()
        return _default


def types() -> List[str]:
    """The document types the plug-in offers."""
    return _plugin().types()


def counts() -> List[int]:
    """The hit counts the plug-in offers."""
    return _plugin().counts()


def search(keyword: str, types: Optional[Sequence[str]] = None, count: int = 10) -> List[Record]:
    """Runs one search; see Plugin.search."""
    return _plugin().search(keyword, types=types, count=count)
