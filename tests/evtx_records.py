#!/usr/bin/python3
"""Prints one line per record of an .evtx file, read with python-evtx, for the differential
test of the log query engine: record number, event ID, source and TimeCreated (UTC, whole
seconds), separated by TABs.

Usage: evtx_records.py FILE [EVERY]   (EVERY: read only every EVERY-th chunk, from the first)
"""
import re
import sys

import Evtx.Evtx as evtx

SOURCE = re.compile(r'<Provider\b([^>]*)>')
ATTR = re.compile(r'(\w+)="([^"]*)"')
EVENT_ID = re.compile(r'<EventID\b[^>]*>(\d+)</EventID>')
TIME = re.compile(r'<TimeCreated SystemTime="(\d{4}-\d\d-\d\d)[ T](\d\d:\d\d:\d\d)')


def main():
    path = sys.argv[1]
    every = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    out = sys.stdout
    with evtx.Evtx(path) as log:
        for index, chunk in enumerate(log.chunks()):
            if index % every:
                continue
            try:
                for record in chunk.records():
                    try:
                        xml = record.xml()
                    except Exception:
                        continue
                    provider = SOURCE.search(xml)
                    attrs = dict(ATTR.findall(provider.group(1))) if provider else {}
                    source = attrs.get('EventSourceName', attrs.get('Name', ''))
                    event_id = EVENT_ID.search(xml)
                    time = TIME.search(xml)
                    out.write('%d\t%s\t%s\t%s %s\n' % (
                        record.record_num(), event_id.group(1) if event_id else '',
                        source, time.group(1) if time else '', time.group(2) if time else ''))
            except Exception:
                continue


if __name__ == '__main__':
    main()
