#!/usr/bin/env python3
"""Puts one release of one product into plug-in folders the way ZorvaManager installs it, and
writes its receipt, without running ZorvaManager: a home that already holds a product, for the
demo and the black-box run.

    install_release.py --data DIR --slug SLUG --version VERSION
                       --vst3 FOLDER --clap FOLDER --receipts FILE

DIR is the maker's web data (tests/fixtures/make_maker_data.py). Each Linux artifact of the
release has its package read from DIR; from the package of the "vst3" artifact the VST3
bundle folder (<Name>.vst3, wherever it stands in the archive) goes directly into the VST3
folder, from the package of the "clap" artifact the <Name>.clap file directly into the CLAP
folder, with the modes the archive gives them. The receipts file gets the entry
{"name": ..., "version": VERSION} under the product's name and under its slug, each reduced to
lower-case ASCII letters and digits, written as ZorvaManager writes it (keys in order, an
indent of 2, no final newline); other entries already there are kept. A bundle that is already
in place is an error: nothing is overwritten.
"""

import argparse
import io
import json
import os
import sys
import tarfile
import urllib.parse
import zipfile

PLATFORM = "linux-x64"
SUFFIX = {"vst3": ".vst3", "clap": ".clap"}


def name_key(text):
    return "".join(c.lower() for c in text if c.isascii() and c.isalnum())


def archive_members(data):
    """(path, bytes or None for a folder, mode) of every entry of a tar.gz or zip archive."""
    if data[:2] == b"PK":
        with zipfile.ZipFile(io.BytesIO(data)) as archive:
            for info in archive.infolist():
                mode = (info.external_attr >> 16) & 0o777 or (0o755 if info.is_dir() else 0o644)
                yield info.filename.rstrip("/"), None if info.is_dir() else archive.read(info), mode
    else:
        with tarfile.open(fileobj=io.BytesIO(data), mode="r:*") as archive:
            for info in archive.getmembers():
                if info.isdir():
                    yield info.name.rstrip("/"), None, info.mode & 0o777
                elif info.isfile():
                    yield info.name, archive.extractfile(info).read(), info.mode & 0o777


def bundle_parts(path, suffix):
    """The path's parts from the first one that ends in suffix, or None."""
    parts = [part for part in path.split("/") if part not in ("", ".")]
    if ".." in parts:
        raise SystemExit("install_release: unsafe archive path " + path)
    for index, part in enumerate(parts):
        if part.endswith(suffix):
            return parts[index:]
    return None


def lay_out(package, fmt, folder):
    """Writes the fmt bundle of a package into folder; returns the bundle's path."""
    suffix = SUFFIX[fmt]
    entries = []
    for path, data, mode in archive_members(package):
        parts = bundle_parts(path, suffix)
        if parts is not None:
            entries.append((parts, data, mode))
    tops = sorted({parts[0] for parts, _, _ in entries})
    if len(tops) != 1:
        raise SystemExit("install_release: expected one %s bundle in the package, found %s" % (suffix, tops or "none"))
    bundle = os.path.join(folder, tops[0])
    if os.path.lexists(bundle):
        raise SystemExit("install_release: already there: " + bundle)
    os.makedirs(folder, exist_ok=True)
    folders = {}
    for parts, data, mode in entries:
        target = os.path.join(folder, *parts)
        if data is None:
            os.makedirs(target, exist_ok=True)
            folders[target] = mode
        else:
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, "wb") as stream:
                stream.write(data)
            os.chmod(target, mode)
    for target, mode in folders.items():
        os.chmod(target, mode | 0o700)
    return bundle


def write_receipt(file, name, slug, version):
    receipts = {}
    if os.path.exists(file):
        with open(file, encoding="utf-8") as stream:
            receipts = json.load(stream)
    for key in {name_key(name), name_key(slug)}:
        receipts[key] = {"name": name, "version": version}
    os.makedirs(os.path.dirname(os.path.abspath(file)), exist_ok=True)
    with open(file, "w", encoding="utf-8") as stream:
        stream.write(json.dumps(receipts, indent=2, sort_keys=True, ensure_ascii=False))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--data", required=True)
    parser.add_argument("--slug", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--vst3", required=True)
    parser.add_argument("--clap", required=True)
    parser.add_argument("--receipts", required=True)
    options = parser.parse_args(argv)

    with open(os.path.join(options.data, "api", "manager", "releases"), encoding="utf-8") as stream:
        catalogue = json.load(stream)
    product = next((p for p in catalogue["products"] if p["slug"] == options.slug), None)
    if product is None:
        parser.error("no product %s in the catalogue" % options.slug)
    release = next((r for r in product["releases"] if r["version"] == options.version), None)
    if release is None:
        parser.error("%s has no release %s" % (options.slug, options.version))

    folders = {"vst3": options.vst3, "clap": options.clap}
    laid_out = []
    for artifact in release["artifacts"]:
        if artifact["platform"] != PLATFORM or artifact["format"] not in folders:
            continue
        path = urllib.parse.urlsplit(artifact["downloadUrl"]).path.lstrip("/")
        with open(os.path.join(options.data, *path.split("/")), "rb") as stream:
            package = stream.read()
        laid_out.append(lay_out(package, artifact["format"], folders[artifact["format"]]))
    if not laid_out:
        parser.error("%s %s has no %s artifact" % (options.slug, options.version, PLATFORM))

    write_receipt(options.receipts, product["name"], product["slug"], options.version)
    for bundle in laid_out:
        print(bundle)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
