# SPDX-License-Identifier: MIT
"""Loading libdocseek.so and calling its three exports through ctypes."""

from __future__ import annotations

import ctypes
import os
import threading
import warnings
from dataclasses import dataclass
from pathlib import Path
from typing import Iterable, List, Optional, Sequence, Union

LINES_PER_RECORD = 6
DEFAULT_TYPES = ("pdf", "doc", "xls", "ppt", "rtf")
_INT32_MIN, _INT32_MAX = -(2**31), 2**31 - 1


class DocseekError(OSError):
    """The plug-in cannot be found or loaded."""


@dataclass(frozen=True)
class Record:
    """One search hit: the six lines the plug-in appends, in its order."""

    title: str
    suffix: str
    size: str
    date: str
    summary: str
    link: str


# The list struct of docseek/plugin.h: size, context and three callbacks.
_COUNT = ctypes.CFUNCTYPE(ctypes.c_size_t, ctypes.c_void_p)
# The line callback returns a pointer into a buffer this side keeps alive, so
# its result type is a plain address rather than c_char_p (which ctypes would
# have to convert and free).
_LINE = ctypes.CFUNCTYPE(
    ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t)
)
_APPEND = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t)


class _ListStruct(ctypes.Structure):
    _fields_ = [
        ("size", ctypes.c_size_t),
        ("context", ctypes.c_void_p),
        ("count", _COUNT),
        ("line", _LINE),
        ("append", _APPEND),
    ]


class _HostList:
    """A list of byte strings the plug-in reads and appends to."""

    def __init__(self, lines: Iterable[bytes] = ()) -> None:
        self.lines: List[bytes] = list(lines)
        self._current = ctypes.create_string_buffer(0)
        # The callbacks must outlive every call that passes the struct.
        self._count = _COUNT(self._on_count)
        self._line = _LINE(self._on_line)
        self._append = _APPEND(self._on_append)
        self.struct = _ListStruct(
            ctypes.sizeof(_ListStruct), None, self._count, self._line, self._append
        )

    def _on_count(self, _context):
        return len(self.lines)

    def _on_line(self, _context, index, length):
        if index >= len(self.lines):
            length[0] = 0
            return None
        # Valid until the next call on this list, as the contract asks.
        self._current = ctypes.create_string_buffer(self.lines[index], len(self.lines[index]))
        length[0] = len(self.lines[index])
        return ctypes.addressof(self._current)

    def _on_append(self, _context, text, length):
        try:
            self.lines.append(ctypes.string_at(text, length) if length else b"")
            return 0
        except Exception:  # an exception must not unwind through C
            return 1

    def pointer(self):
        return ctypes.byref(self.struct)


def _decode(line: bytes) -> str:
    return line.decode("utf-8", errors="replace")


def plugin_candidates() -> List[str]:
    """Where the plug-in is looked for, best first."""
    named = os.environ.get("DOCSEEK_PLUGIN")
    if named:
        # Named on purpose: loading another one instead would hide the mistake.
        return [named]
    candidates = []
    beside = Path(__file__).resolve().parent / "libdocseek.so"
    if beside.exists():
        candidates.append(str(beside))
    # Bare names: the dynamic loader searches the library path.
    candidates += ["libdocseek.so.0", "libdocseek.so"]
    return candidates


class Plugin:
    """The plug-in at `path`, or the first of plugin_candidates() that loads."""

    def __init__(self, path: Union[str, os.PathLike, None] = None) -> None:
        if path is not None:
            self.path = os.fspath(path)
            # A bare name would be searched for along the library path; the
            # caller named a file, so that file it is.
            if os.sep not in self.path:
                self.path = os.path.join(".", self.path)
            self._library = self._open(self.path)
        else:
            errors = []
            for candidate in plugin_candidates():
                try:
                    self._library = self._open(candidate)
                    self.path = candidate
                    break
                except DocseekError as error:
                    errors.append(str(error))
            else:
                raise DocseekError(
                    "cannot load the docseek plug-in; tried: " + "; ".join(errors)
                )
        lib = self._library
        for name in ("GetBackType", "GetBackCount"):
            getattr(lib, name).argtypes = [ctypes.POINTER(_ListStruct)]
            getattr(lib, name).restype = None
        lib.Getinfo.argtypes = [
            ctypes.POINTER(_ListStruct),
            ctypes.POINTER(_ListStruct),
            ctypes.c_int32,
            ctypes.c_char_p,
            ctypes.c_char_p,
        ]
        lib.Getinfo.restype = None
        # One search at a time per process: the plug-in ignores a call made
        # while another runs, which would otherwise look like "no hits".
        self._lock = threading.Lock()

    @staticmethod
    def _open(path: str):
        try:
            library = ctypes.CDLL(path)
        except OSError as error:
            raise DocseekError(f"{path}: {error}") from None
        for name in ("GetBackType", "GetBackCount", "Getinfo"):
            if not hasattr(library, name):
                raise DocseekError(f"{path}: not a docseek plug-in (no {name})")
        return library

    def types(self) -> List[str]:
        """The document types on offer."""
        out = _HostList()
        self._library.GetBackType(out.pointer())
        return [_decode(line) for line in out.lines]

    def counts(self) -> List[int]:
        """The hit counts on offer."""
        out = _HostList()
        self._library.GetBackCount(out.pointer())
        return [int(line) for line in out.lines]

    def search(
        self,
        keyword: str,
        types: Optional[Sequence[str]] = None,
        count: int = 10,
    ) -> List[Record]:
        """One search: `count` hits at most for each type, in the types' order."""
        if not isinstance(keyword, str):
            raise TypeError("keyword must be a str")
        if isinstance(types, str):
            types = [types]
        chosen = list(DEFAULT_TYPES if types is None else types)
        for t in chosen:
            if not isinstance(t, str):
                raise TypeError("types must be strings")
        if isinstance(count, bool) or not isinstance(count, int):
            raise TypeError("count must be an int")
        if not _INT32_MIN <= count <= _INT32_MAX:
            raise ValueError("count must fit in 32 bits")
        if "\0" in keyword:
            # The plug-in takes a NUL-terminated keyword; the rest would be lost.
            raise ValueError("keyword must not contain NUL")
        type_list = _HostList(t.encode("utf-8") for t in chosen)
        results = _HostList()
        with self._lock:
            self._library.Getinfo(
                results.pointer(), type_list.pointer(), count, keyword.encode("utf-8"), b""
            )
        lines = [_decode(line) for line in results.lines]
        whole = len(lines) - len(lines) % LINES_PER_RECORD
        if whole != len(lines):
            warnings.warn(
                f"the plug-in returned {len(lines) - whole} line(s) after the last whole "
                "record; they are left out",
                RuntimeWarning,
                stacklevel=2,
            )
        return [
            Record(*lines[i : i + LINES_PER_RECORD]) for i in range(0, whole, LINES_PER_RECORD)
        ]
