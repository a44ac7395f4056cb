#!/usr/bin/python3
"""The English translation file of QUORIX: check it against the sources, add entries.

  translations.py check --lupdate PATH --sources DIR --ts FILE
      Fails when a tr()/translate() text of the sources has no finished English entry, or when
      the file holds an unfinished or empty entry.
  translations.py add CONTEXT SOURCE ENGLISH [--ts FILE]
      Adds or updates one entry. Several developers may run it at once: the file is locked.
  translations.py missing --lupdate PATH --sources DIR --ts FILE
      Lists the texts of the sources that have no finished entry, as CONTEXT<TAB>SOURCE.
"""
import argparse
import fcntl
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_TS = os.path.join(HERE, '..', 'src', 'resources', 'translations', 'quorix_en.ts')


def read_entries(path):
    """{(context, source): (translation text, finished)} of a .ts file."""
    entries = {}
    root = ET.parse(path).getroot()
    for ctx in root.iter('context'):
        name = ctx.findtext('name') or ''
        for msg in ctx.iter('message'):
            source = msg.findtext('source') or ''
            tr = msg.find('translation')
            if tr is None:
                entries[(name, source)] = ('', False)
                continue
            forms = [f.text or '' for f in tr.iter('numerusform')]
            text = tr.text or '' if not forms else '|'.join(forms)
            finished = tr.get('type') not in ('unfinished', 'vanished', 'obsolete') and \
                (all(forms) if forms else bool(text))
            entries[(name, source)] = (text, finished)
    return entries


def source_texts(lupdate, sources):
    """(context, source) of every translatable text in the sources, found by lupdate."""
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, 'scan.ts')
        subprocess.run([lupdate, '-silent', '-recursive', '-locations', 'none',
                        '-extensions', 'cpp,h,ui', sources, '-ts', out],
                       check=True, stdout=subprocess.DEVNULL)
        return set(read_entries(out).keys())


def write_entries(path, entries):
    root = ET.Element('TS', {'version': '2.1', 'language': 'en_US', 'sourcelanguage': 'zh_CN'})
    contexts = {}
    for (ctx, source), text in entries.items():
        contexts.setdefault(ctx, []).append((source, text))
    for ctx in sorted(contexts):
        c = ET.SubElement(root, 'context')
        ET.SubElement(c, 'name').text = ctx
        for source, text in sorted(contexts[ctx]):
            m = ET.SubElement(c, 'message')
            ET.SubElement(m, 'source').text = source
            ET.SubElement(m, 'translation').text = text
    ET.indent(root, space='    ')
    body = ET.tostring(root, encoding='unicode')
    with open(path + '.tmp', 'w', encoding='utf-8') as f:
        f.write('<?xml version="1.0" encoding="utf-8"?>\n<!DOCTYPE TS>\n' + body + '\n')
    os.replace(path + '.tmp', path)


def missing(args):
    have = read_entries(args.ts)
    gaps = sorted(k for k in source_texts(args.lupdate, args.sources)
                  if not have.get(k, ('', False))[1])
    return have, gaps


def cmd_check(args):
    have, gaps = missing(args)
    bad = sorted(k for k, (_, finished) in have.items() if not finished)
    for ctx, source in gaps:
        print(f'no English text: {ctx}: {source}')
    for ctx, source in bad:
        print(f'unfinished or empty in {os.path.basename(args.ts)}: {ctx}: {source}')
    if gaps or bad:
        print(f'{len(gaps) + len(bad)} translation problems')
        return 1
    print(f'{len(have)} translations, all finished')
    return 0


def cmd_missing(args):
    for ctx, source in missing(args)[1]:
        print(f'{ctx}\t{source}')
    return 0


def cmd_add(args):
    if not args.english.strip():
        print('the English text is empty', file=sys.stderr)
        return 2
    with open(args.ts + '.lock', 'w') as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        entries = {k: v[0] for k, v in read_entries(args.ts).items()} \
            if os.path.exists(args.ts) else {}
        entries[(args.context, args.source)] = args.english
        write_entries(args.ts, entries)
    return 0


def cmd_merge(args):
    def texts(path):
        try:
            return {k: v[0] for k, v in read_entries(path).items()}
        except (ET.ParseError, OSError):
            return {}
    base, ours, theirs = texts(args.base), texts(args.ours), texts(args.theirs)
    merged = dict(theirs)
    merged.update(ours)
    for key in base:
        if key not in ours or key not in theirs:
            merged.pop(key, None)
    for key, text in theirs.items():
        if key in ours and ours[key] == base.get(key) and text != base.get(key):
            merged[key] = text
    write_entries(args.ours, merged)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest='cmd', required=True)
    for name in ('check', 'missing'):
        p = sub.add_parser(name)
        p.add_argument('--lupdate', default='lupdate')
        p.add_argument('--sources', default=os.path.join(HERE, '..', 'src'))
        p.add_argument('--ts', default=DEFAULT_TS)
    p = sub.add_parser('add')
    p.add_argument('context')
    p.add_argument('source')
    p.add_argument('english')
    p.add_argument('--ts', default=DEFAULT_TS)
    p = sub.add_parser('merge')
    p.add_argument('base')
    p.add_argument('ours')
    p.add_argument('theirs')
    args = parser.parse_args()
    return {'check': cmd_check, 'missing': cmd_missing, 'add': cmd_add,
            'merge': cmd_merge}[args.cmd](args)


if __name__ == '__main__':
    sys.exit(main())
