# SPDX-License-Identifier: MIT
"""docseek-engine as a fixture: the plug-in reaches it as its HTTP proxy."""

import os
import subprocess
from pathlib import Path

import pytest


def _engine_binary() -> str:
    path = os.environ.get("DOCSEEK_ENGINE")
    if not path:
        pytest.fail("DOCSEEK_ENGINE must name the docseek-engine program")
    return path


class Engine:
    def __init__(self, pages: Path, log: Path) -> None:
        self.pages = pages
        self.log = log
        self.process = subprocess.Popen(
            [_engine_binary(), "--port", "0", "--pages", str(pages), "--log", str(log)],
            stdout=subprocess.PIPE,
            text=True,
        )
        line = self.process.stdout.readline()
        if not line.startswith("port "):
            self.stop()
            raise RuntimeError(f"docseek-engine did not start: {line!r}")
        self.port = int(line.split()[1])
        self.proxy = f"http://127.0.0.1:{self.port}"

    def stop(self) -> None:
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()


@pytest.fixture
def engine(tmp_path, monkeypatch):
    pages = tmp_path / "pages"
    pages.mkdir()
    running = Engine(pages, tmp_path / "requests.log")
    # libcurl reads these for every transfer, so setting them here is enough.
    monkeypatch.setenv("http_proxy", running.proxy)
    monkeypatch.delenv("no_proxy", raising=False)
    monkeypatch.delenv("NO_PROXY", raising=False)
    yield running
    running.stop()
