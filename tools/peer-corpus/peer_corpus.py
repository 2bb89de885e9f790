#!/usr/bin/env python3
"""The peer corpus check: how often Korvo's texts agree with the test
expectations of the Python feed parser "feedparser".

Each test document of that project's corpus carries its expectation: XML
documents in a comment at their top ("Expect: not bozo and feed['title'] ==
'Example feed'", with optional "Header: Name: value" lines), JSON documents
in a "__tests" list. Every clause of an expectation that compares a text
Korvo has a field for with a text literal is one check; the other clauses
are counted by kind and left out. The documents go through
korvo-peer-corpus (a loopback download as a meter does it, texts in
UTF-8), and each check agrees when both texts are the same after the same
normalisation (normalise()). See docs/peer-corpus.md.

Usage: peer_corpus.py --corpus DIR --driver PATH [--failures FILE]
                      [--save FILE] [--against FILE]
DIR is the corpus's tests/ folder.
"""
import argparse
import ast
import hashlib
import html
import json
import os
import re
import subprocess
import sys
from collections import Counter, defaultdict

# Where the peer's own test server serves the corpus: expectations about
# links relative to the document are written with this address.
PEER_BASE = "http://127.0.0.1:8097/"
URL_ROOT = "/tests/"
# The kinds of file that hold the corpus's documents.
DOCUMENT_EXTENSIONS = (".xml", ".rdf", ".rss", ".atom", ".json")

FEED_ROOTS = ("feed", "channel")
ENTRY_ROOTS = ("entries", "items")

# The peer's names (and their aliases) for the texts Korvo has a field for.
CHANNEL_FIELDS = {
    "title": "title",
    "link": "link",
    "subtitle": "description",
    "description": "description",
    "tagline": "description",
    "language": "language",
    "rights": "copyright",
    "copyright": "copyright",
    "author": "managingEditor",
    "publisher": "managingEditor",
    "updated": "lastBuildDate",
    "modified": "lastBuildDate",
    "date": "lastBuildDate",
    "published": "pubDate",
    "issued": "pubDate",
}
ITEM_FIELDS = {
    "title": "title",
    "link": "link",
    "summary": "description",
    "description": "description",
    "published": "pubDate",
    "issued": "pubDate",
    "created": "pubDate",
    "updated": "pubDate",
    "modified": "pubDate",
    "date": "pubDate",
    "id": "guid",
    "guid": "guid",
}
LIST_FIELDS = {"links", "tags", "categories", "enclosures", "authors", "contributors",
               "content", "media_content", "media_thumbnail", "source"}
DOCUMENT_FACTS = {"version", "encoding", "namespaces", "headers", "status", "href",
                  "etag", "modified", "updated", "updated_parsed", "debug_message"}

# Tags that separate words when a text is shown; every other tag joins
# what is on either side of it.
SEPARATING_TAGS = r"br|p|div|li|tr|h[1-6]|blockquote|hr"
SCRIPT_OR_STYLE = re.compile(r"<(script|style)\b.*?</\1\s*>", re.I | re.S)
COMMENT = re.compile(r"<!--.*?-->", re.S)
SEPARATING = re.compile(r"</?(?:%s)\b[^>]*>" % SEPARATING_TAGS, re.I)
TAG = re.compile(r"</?[A-Za-z!?][^>]*>")
WHITE = re.compile(r"\s+")


def normalise(text):
    """A text as a reader sees it: script and style elements, comments and
    tags removed (a separating tag leaves a blank), character references
    decoded, each run of white space one blank, none at either end."""
    text = SCRIPT_OR_STYLE.sub("", text)
    text = COMMENT.sub("", text)
    text = SEPARATING.sub(" ", text)
    text = TAG.sub("", text)
    text = html.unescape(text)
    return WHITE.sub(" ", text).strip()


# --- Reading the corpus ----------------------------------------------------

def decode_head(data):
    """The start of a document as text, in the charset its bytes suggest."""
    if data.startswith(b"\xef\xbb\xbf"):
        return data[3:].decode("utf-8", "replace")
    for bom, codec in ((b"\xff\xfe\x00\x00", "utf-32-le"), (b"\x00\x00\xfe\xff", "utf-32-be"),
                       (b"\xff\xfe", "utf-16-le"), (b"\xfe\xff", "utf-16-be")):
        if data.startswith(bom):
            return data[len(bom):].decode(codec, "replace")
    for prefix, codec in ((b"<\x00\x00\x00", "utf-32-le"), (b"\x00\x00\x00<", "utf-32-be"),
                          (b"<\x00", "utf-16-le"), (b"\x00<", "utf-16-be")):
        if data.startswith(prefix):
            return data.decode(codec, "replace")
    text = data.decode("utf-8", "replace")
    if "<!--" not in text[:4096]:
        ebcdic = data.decode("cp037", "replace")
        if "<!--" in ebcdic[:4096]:
            return ebcdic
    return text


def read_test(path):
    """(clauses, headers) of one test document; clauses is None for a
    document without an expectation."""
    with open(path, "rb") as f:
        data = f.read()
    if path.endswith(".json"):
        try:
            document = json.loads(data.decode("utf-8"))
        except (ValueError, UnicodeDecodeError):
            return None, []
        tests = document.get("__tests") if isinstance(document, dict) else None
        if not isinstance(tests, list):
            return None, []
        clauses = []
        for test in tests:
            if isinstance(test, str):
                clauses.extend(split_clauses(test))
        # The peer reads these with its JSON Feed reader whatever they say
        # of themselves; a download reaches Korvo's by the media type.
        return clauses, ["Content-Type: application/feed+json"]
    text = decode_head(data)
    start = text.find("<!--")
    end = text.find("-->", start)
    if start < 0 or end < 0:
        return None, []
    expect = None
    headers = []
    for line in text[start + 4:end].splitlines():
        key, _, value = line.strip().partition(":")
        if key == "Expect":
            expect = value.strip()
        elif key == "Header":
            headers.append(value.strip())
    if expect is None:
        return None, headers
    return split_clauses(expect), headers


def split_clauses(expression):
    """The clauses of an expectation joined by "and", as syntax trees (a
    string for one that does not parse)."""
    try:
        tree = ast.parse(expression.strip(), mode="eval").body
    except SyntaxError:
        return [expression]
    if isinstance(tree, ast.BoolOp) and isinstance(tree.op, ast.And):
        return tree.values
    return [tree]


# --- Which clauses Korvo can answer ----------------------------------------

def subscript_key(node):
    inner = node.slice
    if isinstance(inner, getattr(ast, "Index", ())):  # before Python 3.9
        inner = inner.value
    return ast.literal_eval(inner)


def chain_of(node):
    """(root name, [keys]) of feed['a'][0]['b'] or feed.a; None otherwise."""
    keys = []
    while True:
        if isinstance(node, ast.Subscript):
            try:
                keys.insert(0, subscript_key(node))
            except ValueError:
                return None
            node = node.value
        elif isinstance(node, ast.Attribute):
            keys.insert(0, node.attr)
            node = node.value
        elif isinstance(node, ast.Name):
            return node.id, keys
        else:
            return None


def field_for(scope, keys):
    """(Korvo field, None) for the keys under feed or an entry, or (None,
    the reason it is left out)."""
    table = CHANNEL_FIELDS if scope == "channel" else ITEM_FIELDS
    if not keys or not isinstance(keys[0], str):
        return None, "other forms"
    name = keys[0]
    rest = keys[1:]
    if name.endswith("_parsed"):
        return None, "parsed dates"
    if name.endswith("_detail"):
        base = name[: -len("_detail")]
        if rest == ["value"] and base in table:
            return table[base], None
        return None, "details (type, language, base, names)"
    if scope == "item" and name == "content":
        if len(rest) == 2 and rest[1] == "value":
            return "description", None
        return None, "details (type, language, base, names)"
    if name in LIST_FIELDS:
        return None, "lists (links, tags, enclosures, people)"
    if name not in table:
        return None, "fields Korvo does not have"
    if rest:
        return None, "other forms"
    return table[name], None


def classify(clause):
    """The checks of one clause, each ("check", scope, index, field,
    expected, source), or [("skip", reason)]. A chain a == b == 'text'
    holds one check for each side that names a field."""
    if isinstance(clause, str):
        return [("skip", "expressions that do not parse")]
    source = ast.unparse(clause) if hasattr(ast, "unparse") else ""
    node = clause.operand if isinstance(clause, ast.UnaryOp) and isinstance(clause.op, ast.Not) else clause
    if isinstance(node, ast.Name) and node.id.startswith("bozo"):
        return [("skip", "bozo (well-formedness)")]
    if not (isinstance(clause, ast.Compare) and all(isinstance(op, ast.Eq) for op in clause.ops)):
        return [("skip", "other forms")]
    literals, chains = [], []
    for operand in [clause.left] + clause.comparators:
        chain = chain_of(operand)
        if chain is not None:
            chains.append(chain)
            continue
        try:
            literals.append(ast.literal_eval(operand))
        except ValueError:
            return [("skip", "other forms")]
    if len(literals) != 1 or not chains:
        return [("skip", "other forms")]
    expected = literals[0]
    checks = []
    for root, keys in chains:
        if root.startswith("bozo"):
            return [("skip", "bozo (well-formedness)")]
        if root in FEED_ROOTS:
            scope, index = "channel", None
        elif root in ENTRY_ROOTS:
            if not keys or not isinstance(keys[0], int):
                return [("skip", "other forms")]
            scope, index, keys = "item", keys[0], keys[1:]
        elif root in DOCUMENT_FACTS:
            return [("skip", "document facts (version, encoding, namespaces, HTTP)")]
        else:
            return [("skip", "other forms")]
        field, reason = field_for(scope, keys)
        if field is None:
            return [("skip", reason)]
        if not isinstance(expected, str):
            return [("skip", "values that are not texts")]
        checks.append(("check", scope, index, field, expected, source))
    return checks


# --- Running Korvo and comparing -------------------------------------------

def run_driver(driver, jobs):
    """What korvo-peer-corpus makes of each job (url path, file, headers).
    A document the driver dies on is reported, gets empty texts and an
    error, and the driver goes on with the next one."""
    lines = []
    for url_path, path, headers in jobs:
        fields = [url_path, path] + [h for h in headers if "\t" not in h]
        lines.append("\t".join(fields))
    outputs = []
    while len(outputs) < len(jobs):
        rest = lines[len(outputs):]
        result = subprocess.run([driver], input=("\n".join(rest) + "\n").encode("utf-8"),
                                stdout=subprocess.PIPE, timeout=1800)
        outputs += [json.loads(line.decode("utf-8", "replace"))
                    for line in result.stdout.splitlines() if line.strip()]
        if result.returncode != 0 and len(outputs) < len(jobs):
            url_path = jobs[len(outputs)][0]
            print("peer_corpus: korvo-peer-corpus died (status %d) on %s"
                  % (result.returncode, url_path), file=sys.stderr)
            outputs.append({"path": url_path, "base": "", "channel": {}, "items": [],
                            "error": "korvo-peer-corpus died (status %d)" % result.returncode})
        elif len(outputs) < len(jobs):
            sys.exit("peer_corpus: the driver answered %d of %d documents" % (len(outputs), len(jobs)))
    return outputs


def korvo_text(output, scope, index, field):
    if scope == "channel":
        text = output["channel"].get(field, "")
    else:
        items = output["items"]
        text = items[index].get(field, "") if 0 <= index < len(items) else ""
    # Links resolved against the document's own address: as the peer's
    # test server would have served it.
    return text.replace(output["base"], PEER_BASE) if output["base"] else text


def category_of(rel):
    folder = os.path.dirname(rel)
    return folder if folder else "."


def collect(corpus):
    tests = []
    for folder, _, files in os.walk(corpus):
        for name in sorted(files):
            if not name.lower().endswith(DOCUMENT_EXTENSIONS):
                continue
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, corpus).replace(os.sep, "/")
            clauses, headers = read_test(path)
            if clauses is not None:
                tests.append((rel, path, clauses, headers))
    tests.sort()
    return tests


def fingerprint(tests):
    """What names the corpus: its documents' paths and contents."""
    digest = hashlib.sha256()
    for rel, path, _, _ in tests:
        with open(path, "rb") as f:
            digest.update(rel.encode("utf-8") + b"\0" + hashlib.sha256(f.read()).digest())
    return digest.hexdigest()


def percent(agree, checks):
    return 100.0 * agree / checks if checks else 0.0


def print_table(title, rows, against):
    width = max([len(title)] + [len(name) for name in rows]) + 2
    head = "%-*s %6s %7s %6s %7s" % (width, title, "docs", "checks", "agree", "%")
    if against is not None:
        head += " %8s" % "change"
    print(head)
    for name, row in rows.items():
        share = "%7.1f" % percent(row["agree"], row["checks"]) if row["checks"] else "%7s" % "-"
        line = "%-*s %6d %7d %6d %s" % (width, name, row["docs"], row["checks"], row["agree"], share)
        if against is not None:
            old = against.get(name)
            if old is None:
                line += " %8s" % "new"
            else:
                change = percent(row["agree"], row["checks"]) - percent(old["agree"], old["checks"])
                line += " %+8.1f" % change if (old["agree"], old["checks"]) != (row["agree"], row["checks"]) else " %8s" % "="
        print(line)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--corpus", required=True, help="the corpus's tests/ folder")
    parser.add_argument("--driver", required=True, help="the korvo-peer-corpus program")
    parser.add_argument("--failures", help="file for the checks that do not agree")
    parser.add_argument("--save", help="file for the figures, as JSON (for --against)")
    parser.add_argument("--against", help="figures of an earlier run: adds a change column")
    args = parser.parse_args()

    tests = collect(args.corpus)
    if not tests:
        sys.exit("peer_corpus: no test document with an expectation under %s" % args.corpus)
    skipped = Counter()
    planned = []
    for rel, path, clauses, headers in tests:
        checks = []
        for clause in clauses:
            for kind in classify(clause):
                if kind[0] == "skip":
                    skipped[kind[1]] += 1
                else:
                    checks.append(kind[1:])
        planned.append((rel, path, headers, checks))

    to_run = [(rel, path, headers) for rel, path, headers, checks in planned if checks]
    outputs = run_driver(args.driver, [(URL_ROOT + rel, path, headers) for rel, path, headers in to_run])
    output_of = {rel: out for (rel, _, _), out in zip(to_run, outputs)}

    def zero():
        return {"docs": 0, "checks": 0, "agree": 0}

    categories = defaultdict(zero)
    fields = defaultdict(zero)
    total = zero()
    failures = []
    for rel, _, _, checks in planned:
        category = categories[category_of(rel)]
        category["docs"] += 1
        total["docs"] += 1
        seen_fields = set()
        for scope, index, field, expected, source in checks:
            label = "%s.%s" % (scope, field)
            korvo = korvo_text(output_of[rel], scope, index, field)
            agree = normalise(korvo) == normalise(expected)
            for row in (category, fields[label], total):
                row["checks"] += 1
                row["agree"] += agree
            if label not in seen_fields:
                seen_fields.add(label)
                fields[label]["docs"] += 1
            if not agree:
                failures.append((rel, source, expected, korvo, output_of[rel]["error"]))

    categories = dict(sorted(categories.items()))
    fields = dict(sorted(fields.items()))
    corpus_id = fingerprint(tests)
    against = None
    if args.against and os.path.exists(args.against):
        with open(args.against) as f:
            against = json.load(f)
        if against.get("corpus") != corpus_id:
            print("(%s holds the figures of another corpus: no change column)\n" % args.against)
            against = None
    print_table("category", dict(list(categories.items()) + [("total", total)]),
                None if against is None else dict(against["categories"], total=against["total"]))
    print()
    print_table("Korvo field", fields, None if against is None else against["fields"])
    print()
    print("checks left out (no Korvo field, or not a text): %d" % sum(skipped.values()))
    for reason, count in skipped.most_common():
        print("  %5d  %s" % (count, reason))

    if args.failures:
        with open(args.failures, "w", encoding="utf-8") as f:
            for rel, source, expected, korvo, error in failures:
                f.write("%s\n  %s\n  expected: %r\n  korvo:    %r\n" % (rel, source, normalise(expected), normalise(korvo)))
                if error:
                    f.write("  error:    %s\n" % error)
        print("checks that do not agree: %d, in %s" % (len(failures), args.failures))
    if args.save:
        with open(args.save, "w") as f:
            json.dump({"corpus": corpus_id, "categories": categories, "fields": fields, "total": total,
                       "skipped": dict(skipped)}, f, indent=1, sort_keys=True)


if __name__ == "__main__":
    main()
