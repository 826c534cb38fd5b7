#!/usr/bin/python3
"""Prints one line per record of an .evtx file, read with python-evtx, for the differential
tests of the log query engine and of whole runs: record number, event ID, source and
TimeCreated (UTC, whole seconds), separated by TABs; with --types also the event type that
Keywords and Level map to.

Usage: evtx_records.py [--types] FILE [EVERY]   (EVERY: read only every EVERY-th chunk, from
the first)

Two shortcuts keep it quick without changing what it prints: a template is parsed once per
file offset rather than once per record that uses it, and a chunk whose bytes equal those of an
earlier chunk (the large sample repeats its chunks) gives that chunk's lines again.
"""
import hashlib
import re
import sys

import Evtx.Evtx as evtx
import Evtx.Nodes as nodes

SOURCE = re.compile(r'<Provider\b([^>]*)>')
ATTR = re.compile(r'(\w+)="([^"]*)"')
EVENT_ID = re.compile(r'<EventID\b[^>]*>(\d+)</EventID>')
TIME = re.compile(r'<TimeCreated SystemTime="(\d{4}-\d\d-\d\d)[ T](\d\d:\d\d:\d\d)')
LEVEL = re.compile(r'<Level>(\d+)</Level>')
KEYWORDS = re.compile(r'<Keywords>0x([0-9A-Fa-f]+)</Keywords>')

AUDIT_FAILURE = 0x0010000000000000
AUDIT_SUCCESS = 0x0020000000000000
CHUNK_SIZE = 0x10000

_parse_template = nodes.RootNode.template
_templates = {}


def cached_template(root):
    """The template a root node uses, parsed once per offset in the file."""
    offset = root._chunk.offset() + root.template_instance().template_offset()
    template = _templates.get(offset)
    if template is None:
        template = _templates[offset] = _parse_template(root)
    return template


nodes.RootNode.template = cached_template


def event_type(system):
    """Audit keywords first, then the level."""
    keywords = KEYWORDS.search(system)
    bits = int(keywords.group(1), 16) if keywords else 0
    if bits & AUDIT_FAILURE:
        return 'Failure Audit event'
    if bits & AUDIT_SUCCESS:
        return 'Success Audit event'
    level = LEVEL.search(system)
    level = int(level.group(1)) if level else 0
    if level in (1, 2):
        return 'Error event'
    if level == 3:
        return 'Warning event'
    return 'Information event'


def chunk_lines(chunk, types):
    lines = []
    try:
        for record in chunk.records():
            try:
                xml = record.xml()
            except Exception:
                continue
            end = xml.find('</System>')
            system = xml if end < 0 else xml[:end]
            provider = SOURCE.search(system)
            attrs = dict(ATTR.findall(provider.group(1))) if provider else {}
            source = attrs.get('EventSourceName', attrs.get('Name', ''))
            event_id = EVENT_ID.search(system)
            time = TIME.search(system)
            line = '%d\t%s\t%s\t%s %s' % (
                record.record_num(), event_id.group(1) if event_id else '', source,
                time.group(1) if time else '', time.group(2) if time else '')
            if types:
                line += '\t' + event_type(system)
            lines.append(line + '\n')
    except Exception:
        pass
    return lines


def main():
    args = sys.argv[1:]
    types = '--types' in args
    args = [a for a in args if a != '--types']
    path = args[0]
    every = int(args[1]) if len(args) > 1 else 1
    seen = {}
    out = sys.stdout
    with evtx.Evtx(path) as log:
        for index, chunk in enumerate(log.chunks()):
            if index % every:
                continue
            start = chunk.offset()
            key = hashlib.sha1(chunk._buf[start:start + CHUNK_SIZE]).digest()
            lines = seen.get(key)
            if lines is None:
                lines = seen[key] = chunk_lines(chunk, types)
            out.writelines(lines)


if __name__ == '__main__':
    main()
