#!/usr/bin/env python3
"""Waits until the maker service's access log shows that a client loaded the catalogue: the
catalogue itself, the product page of each of its first N products (every product without
--first) and every picture those pages name, each served with status 200. ZorvaManager fetches
a product's page and picture when its card comes near the screen, so with --first the cards on
screen at the start are what is waited for.

    catalogue_served.py --data DIR --access-log FILE [--first N] [--pid PID] [--timeout SECONDS]

DIR is the served data (tests/fixtures/make_maker_data.py); FILE is the log that
maker_service.py --access-log writes ("<method> <path> <status>" per answered request). A
page's picture is the one ZorvaManager takes: the first https:// content of a tag that
mentions og:image. Exits 0 once all were served; 1, saying what is missing, when one of them
was answered with another status, when the process PID has ended, or after SECONDS (default
120).
"""

import argparse
import json
import os
import re
import sys
import time
import urllib.parse

CATALOGUE_PATH = "/api/manager/releases"
TAG = re.compile(r"<[^<>]*>")
CONTENT = re.compile(r"""content\s*=\s*(["'])(.*?)\1""", re.S)


def picture_url(page):
    for tag in TAG.finditer(page):
        text = tag.group(0)
        if "og:image" not in text:
            continue
        content = CONTENT.search(text)
        if content and content.group(2).startswith("https://"):
            return content.group(2)
    return None


def data_file(data, path):
    return os.path.join(data, *urllib.parse.unquote(path).lstrip("/").split("/"))


def expected_paths(data, first=None):
    """The paths a load of the catalogue and of the pictures of its first products asks for."""
    paths = [CATALOGUE_PATH]
    with open(data_file(data, CATALOGUE_PATH), encoding="utf-8") as stream:
        catalogue = json.load(stream)
    for product in catalogue["products"][:first]:
        page_url = product.get("productPageUrl")
        if not page_url:
            continue
        page_path = urllib.parse.urlsplit(page_url).path
        paths.append(page_path)
        with open(data_file(data, page_path), encoding="utf-8") as stream:
            picture = picture_url(stream.read())
        if picture:
            paths.append(urllib.parse.urlsplit(picture).path)
    return paths


def read_log(file):
    """{path: [status, ...]} of the GET requests logged so far."""
    answers = {}
    try:
        with open(file, encoding="utf-8") as stream:
            for line in stream:
                fields = line.split()
                if len(fields) == 3 and fields[0] == "GET":
                    answers.setdefault(urllib.parse.urlsplit(fields[1]).path, []).append(fields[2])
    except FileNotFoundError:
        pass
    return answers


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    return True


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--data", required=True)
    parser.add_argument("--access-log", required=True)
    parser.add_argument("--first", type=int)
    parser.add_argument("--pid", type=int)
    parser.add_argument("--timeout", type=float, default=120.0)
    options = parser.parse_args(argv)

    expected = expected_paths(options.data, options.first)
    deadline = time.monotonic() + options.timeout
    while True:
        answers = read_log(options.access_log)
        refused = ["%s (%s)" % (path, ", ".join(answers[path])) for path in expected
                   if path in answers and "200" not in answers[path]]
        missing = [path for path in expected if "200" not in answers.get(path, [])]
        if not missing:
            return 0
        problem = None
        if refused:
            problem = "answered without 200: " + "; ".join(refused)
        elif options.pid is not None and not alive(options.pid):
            problem = "the program ended first"
        elif time.monotonic() > deadline:
            problem = "not requested within %g s" % options.timeout
        if problem:
            print("catalogue_served: the catalogue did not load: %s; not served yet: %s"
                  % (problem, " ".join(missing)), file=sys.stderr)
            return 1
        time.sleep(0.2)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
