#!/usr/bin/env python3
"""Tells whether plug-in folders and the receipts file hold exactly the given products.

    home_state.py --catalogue FILE --vst3 FOLDER --clap FOLDER --receipts FILE [SLUG[=VERSION] ...]

Each product named (by slug; without a version, its catalogue's latest version) must have, as
ZorvaManager installs it:
  - its CLAP file <Name>.clap directly in the CLAP folder;
  - its VST3 bundle <Name>.vst3 directly in the VST3 folder when the catalogue offers a VST3
    artifact (for a product without one, a bundle that came in its package may be there),
    with VERSION as the bundle's moduleinfo.json "Version";
  - a receipt {"name": <name>, "version": VERSION} under its name and under its slug, each
    reduced to lower-case ASCII letters and digits.
Nothing else may be in the two folders (a product not named, a staging or scratch entry), and
no other receipt in the file (a missing file counts as no receipts). <Name> is the product
name without spaces or punctuation.

Exits 0 when all holds; otherwise 1, printing every difference.
"""

import argparse
import json
import os
import re
import sys

VERSION = re.compile(r'"Version"\s*:\s*"([^"]*)"')


def name_key(text):
    return "".join(c.lower() for c in text if c.isascii() and c.isalnum())


def bundle_name(product_name):
    return "".join(c for c in product_name if c.isascii() and c.isalnum())


def listing(folder):
    try:
        return set(os.listdir(folder))
    except FileNotFoundError:
        return set()


def vst3_version(bundle):
    try:
        with open(os.path.join(bundle, "Contents", "Resources", "moduleinfo.json"), encoding="utf-8") as stream:
            found = VERSION.search(stream.read())
    except OSError:
        return None
    return found.group(1) if found else None


def differences(options):
    with open(options.catalogue, encoding="utf-8") as stream:
        products = {p["slug"]: p for p in json.load(stream)["products"]}

    wanted = {}
    for item in options.products:
        slug, _, version = item.partition("=")
        if slug not in products:
            raise SystemExit("home_state.py: no product %s in the catalogue" % slug)
        wanted[slug] = version or products[slug]["latestVersion"]

    problems = []
    vst3 = listing(options.vst3)
    clap = listing(options.clap)
    expected_receipts = {}
    allowed_vst3, allowed_clap = set(), set()

    for slug, version in wanted.items():
        product = products[slug]
        name = bundle_name(product["name"])
        offers_vst3 = any(a["format"] == "vst3" for r in product["releases"] for a in r["artifacts"])
        clap_file = os.path.join(options.clap, name + ".clap")
        vst3_bundle = os.path.join(options.vst3, name + ".vst3")
        allowed_clap.add(name + ".clap")
        allowed_vst3.add(name + ".vst3")

        if not os.path.isfile(clap_file):
            problems.append("%s: no CLAP file %s" % (slug, clap_file))
        if os.path.isdir(vst3_bundle):
            found = vst3_version(vst3_bundle)
            if found != version:
                problems.append("%s: VST3 bundle of version %s, expected %s" % (slug, found, version))
        elif offers_vst3:
            problems.append("%s: no VST3 bundle %s" % (slug, vst3_bundle))

        for key in (name_key(product["name"]), name_key(slug)):
            expected_receipts[key] = {"name": product["name"], "version": version}

    for extra in sorted(vst3 - allowed_vst3):
        problems.append("unexpected in the VST3 folder: " + extra)
    for extra in sorted(clap - allowed_clap):
        problems.append("unexpected in the CLAP folder: " + extra)

    receipts = {}
    if os.path.exists(options.receipts):
        try:
            with open(options.receipts, encoding="utf-8") as stream:
                receipts = json.load(stream)
        except ValueError as error:
            problems.append("receipts file unreadable: %s" % error)
    if receipts != expected_receipts:
        problems.append("receipts %s, expected %s" % (json.dumps(receipts, sort_keys=True),
                                                      json.dumps(expected_receipts, sort_keys=True)))
    return problems


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--catalogue", required=True)
    parser.add_argument("--vst3", required=True)
    parser.add_argument("--clap", required=True)
    parser.add_argument("--receipts", required=True)
    parser.add_argument("products", nargs="*", metavar="SLUG[=VERSION]")
    problems = differences(parser.parse_args(argv))
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
