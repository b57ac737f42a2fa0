# SPDX-License-Identifier: MIT
"""The Python host against the real plug-in and docseek-engine."""

import json
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

import docseek


def hit_markup(n, title, link, info, summary):
    return (
        f'<div class="vrwrap"><h3 class="vrTitle"><a id="uigs{n}" href="{link}">{title}</a></h3>'
        f'<div class="fb"><cite id="cacheresult_info_{n}">{info}</cite></div>'
        f'<p class="str_info" id="cacheresult_summary_{n}">{summary}</p></div>'
    )


def result_page(hits):
    body = "".join(hit_markup(n, *hit) for n, hit in enumerate(hits))
    return f'<!DOCTYPE html><html><head><meta charset="utf-8"></head><body>{body}</body></html>'


def test_offers_the_types_and_counts():
    assert docseek.types() == ["pdf", "doc", "xls", "ppt", "rtf", "sogou"]
    assert docseek.counts() == [10, 20, 30, 50, 100]


def test_search_returns_one_record_per_hit_in_type_order(engine):
    (engine.pages / "pdf.html").write_text(
        result_page(
            [
                ("Annual report 2024.", "http://h.example.com/a/report.pdf",
                 "h.example.com&nbsp;-&nbsp;123K&nbsp;-&nbsp;2010-5-3", "First summary"),
                ("年度<em>报告</em>", "http://h.example.com/b.PDF",
                 "h.example.com&nbsp;-&nbsp;1.2K&nbsp;-&nbsp;2011-1-9", "第二"),
            ]
        ),
        encoding="utf-8",
    )
    (engine.pages / "doc.html").write_text(
        result_page(
            [("Notes: a/b", "http://h.example.com/n.doc",
              "h.example.com&nbsp;-&nbsp;87K&nbsp;-&nbsp;2012-2-2", "Doc summary")]
        ),
        encoding="utf-8",
    )
    records = docseek.search("report", types=["pdf", "doc"], count=10)
    assert records == [
        docseek.Record("Annual report 2024", "pdf", "123", "2010-5-3", "First summary",
                       "http://h.example.com/a/report.pdf"),
        docseek.Record("年度报告", "PDF", "1.2", "2011-1-9", "第二",
                       "http://h.example.com/b.PDF"),
        docseek.Record("Notes ab", "doc", "87", "2012-2-2", "Doc summary",
                       "http://h.example.com/n.doc"),
    ]
    queries = [json.loads(line)["query"] for line in engine.log.read_text().splitlines()]
    assert queries == ["report filetype:pdf", "report filetype:doc"]


@pytest.mark.parametrize(
    "kwargs, pages",
    [
        (dict(types=[]), 0),                # nothing to search
        (dict(types=["pdf"], count=0), 1),  # the page is loaded, no hit read
        (dict(types="pdf", count=3), 1),    # one type as a plain string
        (dict(count=2), 5),                 # the five document types by default
    ],
)
def test_search_arguments_reach_the_plugin(engine, kwargs, pages):
    records = docseek.search("k", **kwargs)
    count = kwargs.get("count", 10)
    assert len(records) == pages * max(count, 0) if pages else records == []
    assert all(isinstance(r, docseek.Record) for r in records)
    log = engine.log.read_text().splitlines() if engine.log.exists() else []
    assert len(log) == pages


@pytest.mark.parametrize(
    "args, error",
    [
        (dict(keyword=b"k"), TypeError),
        (dict(keyword="k", count="3"), TypeError),
        (dict(keyword="k", count=True), TypeError),
        (dict(keyword="k", count=2**31), ValueError),
        (dict(keyword="k", types=[1]), TypeError),
        (dict(keyword="a\0b"), ValueError),
    ],
)
def test_search_refuses_arguments_it_cannot_pass(args, error):
    with pytest.raises(error):
        docseek.search(**args)


def test_a_named_plugin_that_is_not_one_is_refused(tmp_path):
    not_a_library = tmp_path / "libnot.so"
    not_a_library.write_text("not a library")
    with pytest.raises(docseek.DocseekError, match=str(not_a_library)):
        docseek.Plugin(not_a_library)


def test_the_plugin_is_found_as_documented(monkeypatch, tmp_path):
    monkeypatch.setenv("DOCSEEK_PLUGIN", str(tmp_path / "x.so"))
    assert docseek.plugin_candidates() == [str(tmp_path / "x.so")]
    with pytest.raises(docseek.DocseekError, match="x.so"):
        docseek.Plugin()
    monkeypatch.delenv("DOCSEEK_PLUGIN")
    assert docseek.plugin_candidates()[-2:] == ["libdocseek.so.0", "libdocseek.so"]


def test_a_copy_beside_the_package_is_found(monkeypatch, tmp_path):
    # The installed package's own folder, as a wheel that bundles the plug-in has it.
    package = Path(docseek.__file__).parent
    copy = package / "libdocseek.so"
    if copy.exists():
        pytest.skip("a plug-in is already bundled")
    plugin = Path(os.environ["DOCSEEK_PLUGIN"])
    copy.write_bytes(plugin.read_bytes())
    try:
        monkeypatch.delenv("DOCSEEK_PLUGIN")
        assert docseek.plugin_candidates()[0] == str(copy)
        assert docseek.Plugin().path == str(copy)
    finally:
        copy.unlink()


def test_the_readme_example_prints_records(engine):
    source = Path(os.environ["DOCSEEK_SOURCE_DIR"])
    readme = (source / "README.md").read_text(encoding="utf-8")
    blocks = re.findall(r"```python\n(.*?)```", readme, re.S)
    assert blocks, "README.md has no Python example"
    example = blocks[0]
    assert len(example.strip().splitlines()) == 3
    run = subprocess.run([sys.executable, "-c", example], capture_output=True, text=True,
                         timeout=60, env=os.environ)
    assert run.returncode == 0, run.stderr
    lines = run.stdout.splitlines()
    assert len(lines) == 5  # five synthetic hits of the pdf page
    assert all("http://files" in line and line.endswith(".pdf") for line in lines)
