#!/usr/bin/python3
"""Reads an Atom file with feedparser (Debian's python3-feedparser) and prints what a feed
reader sees, one "key value" line each, so tests compare plain text:

    bozo 0
    feed.title ...      feed.id ...      feed.updated ...     feed.link ...
    entry               (then, for each entry)
    title ...  link ...  id ...  updated ...  tags ...  content.type ...  content ...

Content is printed on one line with its line breaks as "\\n".
"""
import sys
import time

import feedparser


def stamp(parsed):
    return time.strftime("%Y-%m-%dT%H:%M:%SZ", parsed) if parsed else ""


def main():
    d = feedparser.parse(sys.argv[1])
    out = ["bozo %d" % (1 if d.bozo else 0)]
    if d.bozo:
        out.append("bozo_exception %s" % d.get("bozo_exception"))
    f = d.feed
    out.append("version %s" % d.get("version", ""))
    out.append("feed.title %s" % f.get("title", ""))
    out.append("feed.id %s" % f.get("id", ""))
    out.append("feed.updated %s" % stamp(f.get("updated_parsed")))
    out.append("feed.link %s" % f.get("link", ""))
    out.append("feed.author %s" % f.get("author", ""))
    for e in d.entries:
        out.append("entry")
        out.append("title %s" % e.get("title", ""))
        out.append("link %s" % e.get("link", ""))
        out.append("id %s" % e.get("id", ""))
        out.append("updated %s" % stamp(e.get("updated_parsed")))
        out.append("tags %s" % ",".join(t.get("term", "") for t in e.get("tags", [])))
        content = e.get("content", [{}])[0]
        out.append("content.type %s" % content.get("type", ""))
        out.append("content %s" % content.get("value", "").replace("\n", "\\n"))
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
