#!/usr/bin/python3
"""Reads a compiled index with chmlib's Python binding (python3-chm) as a help reader does,
and checks it against what the caller expects, one tab-separated line each:

    contents  TEXT  PAGE    the contents' entries are exactly these, in this order
    keyword   NAME  PAGE    the keyword index holds NAME leading to PAGE
    title     TITLE PAGE    the topic tables give PAGE this title, in Windows-1252
    search    WORD  PAGE    full-text search finds PAGE for WORD, under a title

Exit 0 when everything holds; otherwise one line a problem on stdout. Exit 77 when
python3-chm is missing."""

import html
import re
import struct
import sys
import urllib.parse

try:
    import chm.chm
except ImportError:
    sys.exit(77)

ENTRY = re.compile(rb'<OBJECT type="text/sitemap">(.*?)</OBJECT>', re.S | re.I)
PARAM = re.compile(rb'<param name="([^"]*)" value="([^"]*)">', re.I)


def sitemap(text):
    entries = []
    for body in ENTRY.findall(text or b""):
        params = {n.decode().lower(): html.unescape(v.decode("cp1252"))
                  for n, v in PARAM.findall(body)}
        # "Local" is an address: percent-escapes stand for the name's bytes.
        local = params.get("local")
        entries.append((params.get("name"),
                        urllib.parse.unquote(local, errors="strict") if local else local))
    return entries


def whole(f, name):
    result, ui = f.ResolveObject(name)
    if result != 0:
        return None
    size, data = f.RetrieveObject(ui)
    return data if size == ui.length else None


def dword(data, at):
    return struct.unpack_from("<I", data, at)[0]


def text_at(data, at, encoding="utf-8"):
    end = data.index(b"\0", at)
    return data[at:end].decode(encoding)


def topic_titles(f):
    """Page -> title, following #TOPICS, #URLTBL, #URLSTR and #STRINGS from each topic."""
    topics, urltbl = whole(f, b"/#TOPICS"), whole(f, b"/#URLTBL")
    urlstr, strings = whole(f, b"/#URLSTR"), whole(f, b"/#STRINGS")
    if None in (topics, urltbl, urlstr, strings):
        return None
    titles = {}
    for i in range(len(topics) // 16):
        url = dword(topics, 16 * i + 8)
        page = text_at(urlstr, dword(urltbl, url + 8) + 8)
        titles[page] = text_at(strings, dword(topics, 16 * i + 4), "cp1252")
    return titles


def main():
    problems = []
    f = chm.chm.CHMFile()
    if not f.LoadCHM(sys.argv[1]):
        print("chmlib cannot open the file")
        return 1
    contents = sitemap(f.GetTopicsTree())
    keywords = set(sitemap(f.GetIndex()))
    titles = topic_titles(f)
    if titles is None:
        problems.append("no topic tables")
        titles = {}
    wanted_contents = []
    for line in open(sys.argv[2], encoding="utf-8"):
        kind, text, page = line.rstrip("\n").split("\t")
        if kind == "contents":
            wanted_contents.append((text, page))
        elif kind == "keyword" and (text, page) not in keywords:
            problems.append("no keyword %r for %r" % (text, page))
        elif kind == "title":
            # Titles are in the file's code page; characters it lacks read as "?".
            text = text.encode("cp1252", errors="replace").decode("cp1252")
            if titles.get(page) != text:
                problems.append("%r has the title %r, not %r" % (page, titles.get(page), text))
        elif kind == "search":
            if not f.IsSearchable():
                problems.append("not searchable")
                continue
            # Typed words reach the index in the file's code page, lowercased.
            partial, hits = f.Search(text.lower().encode("cp1252"), 1, 0)
            found = {url.decode("utf-8") if isinstance(url, bytes) else url: title
                     for title, url in hits.items()}
            if page not in found or not found[page]:
                problems.append("searching %r does not find %r with a title: %r"
                                % (text, page, found))
    if contents != wanted_contents:
        problems.append("the contents are %r, not %r" % (contents, wanted_contents))
    for text, page in contents:
        if page and whole(f, ("/" + page).encode("utf-8")) is None:
            problems.append("the contents' %r leads to %r, which chmlib cannot read"
                            % (text, page))
    for problem in problems:
        print(problem)
    return 1 if problems else 0


sys.exit(main())
