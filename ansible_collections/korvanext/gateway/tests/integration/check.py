"""Checks a playbook run recorded by callback_plugins/record_results.py.
  check.py RESULTS changed "CHANGED HOSTS" "UNCHANGED HOSTS" [--backup] [--diff HOST=KEY=VALUE,...]...
  check.py RESULTS failed "HOSTS" TEXT      (each fails, its message holding TEXT)
  check.py RESULTS turns "HOSTS"            (none fails, exactly one changes)"""
import json
import os
import sys

with open(sys.argv[1]) as f:
    run = json.load(f)
mode, args = sys.argv[2], sys.argv[3:]
stats = run['stats']
problems = []


def results(host):
    return [r for r in run['results'] if r['host'] == host]


def failure(host):
    """Why the host did not finish well, or None."""
    s = stats.get(host)
    if s is None or s['failures'] or s['unreachable']:
        return '%s: failed: %s' % (host, [r['result'].get('msg') for r in results(host)])
    return None


if mode == 'changed':
    changed, unchanged = args[0].split(), args[1].split()
    for host in changed + unchanged:
        why = failure(host)
        if why:
            problems.append(why)
        elif bool(stats[host]['changed']) != (host in changed):
            problems.append('%s: changed=%s, expected %s' % (host, stats[host]['changed'], host in changed))
        # A write keeps a copy of what the gateway held first.
        for r in results(host):
            if '--backup' in args and r['result'].get('changed') and not os.path.isdir(str(r['result'].get('backup'))):
                problems.append('%s: changed without a kept copy (backup %r)' % (host, r['result'].get('backup')))
    expected_diffs = args[args.index('--diff') + 1:] if '--diff' in args else []
    for expected in expected_diffs:
        host, dummy, pairs = expected.partition('=')
        want = dict(p.split('=', 1) for p in pairs.split(','))
        diffs = [r['result'].get('diff') for r in results(host) if 'diff' in r['result']]
        if len(diffs) != 1:
            problems.append('%s: %d diffs' % (host, len(diffs)))
            continue
        after = dict((k, str(v)) for k, v in diffs[0]['after'].items())
        if after != want:
            problems.append('%s: the diff lists %s, intended %s' % (host, after, want))
        if set(diffs[0]['before']) != set(after):
            problems.append('%s: before %s and after %s name different settings' % (host, diffs[0]['before'], after))
elif mode == 'failed':
    hosts, text = args[0].split(), args[1]
    for host in hosts:
        failed = [r for r in results(host) if r['status'] != 'ok']
        if not failed:
            problems.append('%s did not fail' % host)
        elif not any(text in str(r['result'].get('msg')) for r in failed):
            problems.append('%s failed without naming %s: %s' % (host, text, failed[0]['result'].get('msg')))
elif mode == 'turns':
    hosts = args[0].split()
    problems += [f for f in map(failure, hosts) if f]
    changed = [host for host in hosts if stats.get(host, {}).get('changed')]
    if len(changed) != 1:
        problems.append('changed: %s, expected exactly one of %s' % (changed, hosts))
for p in problems:
    print('  ' + p, file=sys.stderr)
sys.exit(1 if problems else 0)
