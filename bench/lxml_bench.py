#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The extraction benchmark's work done with lxml.html, for comparison.

Run with Debian's /usr/bin/python3 (python3-lxml). Reads the page that
`bench_extraction --write-page FILE` wrote and prints one JSON object:

  parse           lxml.html.document_fromstring(bytes) alone
  reads_by_lookup parse + the hit loop's reads, get_element_by_id for each read
  reads_indexed   parse + one pass building {id: element}, then the reads

Per hit n (as the C++ benchmark): title text of uigs<n>, its href resolved
against the page URL, text of cacheresult_info_<n> and cacheresult_summary_<n>,
the href of uigs<n> again. text_content() stands for innerText (it does not
collapse white space or drop hidden text, so it does less than innerText);
href is urllib.parse.urljoin(page_url, a.get("href")).

usage: lxml_bench.py PAGE [--min-time SECONDS] [--url URL]
       lxml_bench.py PAGE --repeat {parse,load-and-read,by-lookup,soup} N
                                                       (for callgrind; no timing)
"""

import argparse
import json
import statistics
import sys
import time
from urllib.parse import urljoin

import lxml
import lxml.html
from bs4 import BeautifulSoup
import bs4

HITS = 100
PAGE_URL = "http://www.sogou.com/web?query=%C4%EA%B6%C8%B1%A8%B8%E6&filetype=pdf&page=1"


def parse(data):
    return lxml.html.document_fromstring(data)


def reads_by_lookup(root, url):
    total = 0
    for n in range(HITS):
        title = root.get_element_by_id("uigs%d" % n, None)
        if title is None:
            continue
        text = title.text_content()
        link = urljoin(url, root.get_element_by_id("uigs%d" % n).get("href"))
        info = root.get_element_by_id("cacheresult_info_%d" % n, None)
        info_text = info.text_content() if info is not None else ""
        summary = root.get_element_by_id("cacheresult_summary_%d" % n, None)
        summary_text = summary.text_content() if summary is not None else ""
        link_again = urljoin(url, title.get("href"))
        total += len(text) + len(link) + len(info_text) + len(summary_text) + len(link_again)
    return total


def index_ids(root):
    ids = {}
    for el in root.iter():
        i = el.get("id")  # comments and processing instructions have no attributes
        if i and i not in ids:
            ids[i] = el
    return ids


def reads_indexed(root, url):
    ids = index_ids(root)
    total = 0
    for n in range(HITS):
        title = ids.get("uigs%d" % n)
        if title is None:
            continue
        text = title.text_content()
        link = urljoin(url, ids["uigs%d" % n].get("href"))
        info = ids.get("cacheresult_info_%d" % n)
        info_text = info.text_content() if info is not None else ""
        summary = ids.get("cacheresult_summary_%d" % n)
        summary_text = summary.text_content() if summary is not None else ""
        link_again = urljoin(url, title.get("href"))
        total += len(text) + len(link) + len(info_text) + len(summary_text) + len(link_again)
    return total


def reads_soup(data, url):
    """BeautifulSoup on lxml's parser, find(id=...) per read: the usual Python scraper."""
    soup = BeautifulSoup(data, "lxml")
    total = 0
    for n in range(HITS):
        title = soup.find(id="uigs%d" % n)
        if title is None:
            continue
        text = title.get_text()
        link = urljoin(url, soup.find(id="uigs%d" % n).get("href"))
        info = soup.find(id="cacheresult_info_%d" % n)
        info_text = info.get_text() if info is not None else ""
        summary = soup.find(id="cacheresult_summary_%d" % n)
        summary_text = summary.get_text() if summary is not None else ""
        link_again = urljoin(url, title.get("href"))
        total += len(text) + len(link) + len(info_text) + len(summary_text) + len(link_again)
    return total


def measure(fn, min_time):
    """Per-call times (seconds) over batches until min_time has passed; median of batches."""
    fn()  # warm up
    batch = 1
    while True:
        start = time.perf_counter()
        for _ in range(batch):
            fn()
        elapsed = time.perf_counter() - start
        if elapsed >= 0.05:
            break
        batch *= 2
    samples = []
    spent = 0.0
    while spent < min_time or len(samples) < 5:
        start = time.perf_counter()
        for _ in range(batch):
            fn()
        elapsed = time.perf_counter() - start
        samples.append(elapsed / batch)
        spent += elapsed
    return {"median_s": statistics.median(samples), "min_s": min(samples),
            "iterations": batch * len(samples)}


def check(data, url):
    root = parse(data)
    a = reads_by_lookup(root, url)
    b = reads_indexed(parse(data), url)
    if a != b or a == 0:
        sys.exit("reads disagree: %d vs %d" % (a, b))
    t = root.get_element_by_id("uigs7")
    if urljoin(url, t.get("href")) != "http://www.example.com/files/report-7.pdf":
        sys.exit("href read wrong")
    info = root.get_element_by_id("cacheresult_info_7").text_content()
    if info != "www.example.com/files/report-7.pdf\u00a0-\u00a0123K\u00a0-\u00a02010-5-3":
        sys.exit("info read wrong: %r" % info)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("page")
    ap.add_argument("--min-time", type=float, default=2.0)
    ap.add_argument("--url", default=PAGE_URL)
    ap.add_argument("--repeat", nargs=2, metavar=("WORK", "N"))
    ap.add_argument("--no-soup", action="store_true")
    args = ap.parse_args()
    with open(args.page, "rb") as f:
        data = f.read()
    if args.repeat:
        work, n = args.repeat[0], int(args.repeat[1])
        total = 0
        for _ in range(n):
            if work == "parse":
                total += len(parse(data))
            elif work == "by-lookup":
                total += reads_by_lookup(parse(data), args.url)
            elif work == "soup":
                total += reads_soup(data, args.url)
            else:
                total += reads_indexed(parse(data), args.url)
        print(total)
        return
    check(data, args.url)
    result = {
        "python": sys.version.split()[0],
        "lxml": lxml.__version__,
        "libxml2": ".".join(map(str, lxml.etree.LIBXML_VERSION)),
        "page_bytes": len(data),
        "parse": measure(lambda: parse(data), args.min_time),
        "reads_by_lookup": measure(lambda: reads_by_lookup(parse(data), args.url), args.min_time),
        "reads_indexed": measure(lambda: reads_indexed(parse(data), args.url), args.min_time),
        "bs4": bs4.__version__,
    }
    if not args.no_soup:
        result["soup"] = measure(lambda: reads_soup(data, args.url), args.min_time)
    json.dump(result, sys.stdout, indent=1)
    print()


if __name__ == "__main__":
    main()
