# -*- coding: utf-8 -*-
# Copyright: 2026 KorvanextWin developers
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)
"""The one place where the modules of korvanext.gateway run korvanext-cli: a time
limit, the JSON document, the exit statuses and a lock per port on this host."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import contextlib
import errno
import fcntl
import hashlib
import json
import os
import re
import subprocess
import tempfile
import time

# The tool's exit statuses (README, "Command line").
EXIT_REASONS = {
    1: 'usage: a wrong command line or an unknown key',
    2: 'a file cannot be read or written',
    3: 'bad input data',
    4: 'declined',
    5: "the gateway's data damaged or not confirmed",
    6: 'would change',
    10: 'line lost',
    11: 'interrupted',
    12: 'no answer',
    13: 'bad reply',
    14: 'send failure',
    15: 'the port cannot be opened',
}

# Settings the gateway keeps secret: given only through pin and service_password.
SECRET_KEYS = {'PINVal': 'pin', 'ServisPassw': 'service_password'}
SECRET_ENV = {'PINVal': 'KORVANEXT_ANSIBLE_PIN', 'ServisPassw': 'KORVANEXT_ANSIBLE_SERVICE_PASSWORD'}

LINK_ARGUMENT_SPEC = dict(
    port=dict(type='str'),
    modem=dict(type='str'),
    modem_number=dict(type='str'),
    wait=dict(type='int', default=15),
    timeout=dict(type='int', default=900),
    cli_path=dict(type='path'),
)
LINK_MUTUALLY_EXCLUSIVE = [('port', 'modem')]
LINK_REQUIRED_TOGETHER = [('modem', 'modem_number')]

# Where the per-port lock files go when it can be written (else the temporary folder).
LOCK_FOLDER = '/run/lock'

# A stopped tool gets this long to finish a block in flight and let the gateway go.
STOP_GRACE = 30


def link_argument_spec(**more):
    options = dict((k, dict(v)) for k, v in LINK_ARGUMENT_SPEC.items())
    options.update(more)
    return options


class Cli(object):
    """korvanext-cli for one module run, on the port or modem its parameters name."""

    def __init__(self, module):
        self.module = module
        params = module.params
        self.binary = params.get('cli_path') or module.get_bin_path('korvanext-cli', required=True)
        self.timeout = params.get('timeout') or 900
        self.port = params.get('port')
        self.modem = params.get('modem')
        self.modem_number = params.get('modem_number')
        self.wait = params.get('wait')

    @property
    def line(self):
        """What names the line: the port, or the modem that dials the gateway."""
        return self.port or self.modem

    def link_args(self):
        if self.port:
            args = ['--port', self.port]
        elif self.modem:
            args = ['--modem', self.modem, '--modem-number', str(self.modem_number)]
        else:
            self.module.fail_json(msg='port (or modem and modem_number) names the gateway and is missing')
        if self.wait is not None:
            args += ['--wait', str(self.wait)]
        return args

    def run(self, args, link=False, env=None, accept=(0,), failure_note=None):
        """Runs the tool with --json and returns (exit status, document). A status
        outside `accept` fails the module with the tool's own message;
        failure_note(status, document) may add a sentence to it."""
        command = args[0]
        argv = [self.binary] + list(args) + (self.link_args() if link else []) + ['--json']
        rc, out, err = self._execute(argv, command, env)
        doc = self._parse(out)
        if doc is None:
            self.module.fail_json(msg='korvanext-cli %s%s printed no JSON document (exit %d): %s'
                                  % (command, self._on(link), rc, (err or out).strip()[-2000:]),
                                  exit=rc, stderr=err)
        if isinstance(doc, dict) and isinstance(doc.get('exit'), int):
            rc = doc['exit'] if rc == 0 else rc
        if rc not in accept:
            self.fail(command, rc, doc, link, failure_note)
        return rc, doc

    def fail(self, command, rc, doc, link, failure_note=None):
        doc = doc if isinstance(doc, dict) else {}
        message = doc.get('error') or doc.get('result') or 'failed'
        msg = 'korvanext-cli %s%s: %s (exit %d: %s)' % (command, self._on(link), message, rc,
                                                        EXIT_REASONS.get(rc, 'unknown status'))
        note = failure_note(rc, doc) if failure_note else None
        if note:
            msg += '. ' + note
        details = dict((k, v) for k, v in doc.items() if k not in ('error', 'exit', 'command'))
        details.pop('changed', None)
        self.module.fail_json(msg=msg, exit=rc, **details)

    def _on(self, link):
        return ' on %s' % self.line if link and self.line else ''

    @staticmethod
    def _parse(out):
        try:
            return json.loads(out)
        except ValueError:
            return None

    def _execute(self, argv, command, env):
        full_env = dict(os.environ)
        full_env.update(env or {})
        full_env['LC_ALL'] = 'C.UTF-8'
        try:
            proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, env=full_env, close_fds=True)
        except OSError as e:
            self.module.fail_json(msg='cannot run %s: %s' % (self.binary, e))
        try:
            out, err = proc.communicate(timeout=self.timeout)
        except subprocess.TimeoutExpired:
            # SIGTERM lets the tool finish a block in flight and release the gateway.
            proc.terminate()
            try:
                out, err = proc.communicate(timeout=STOP_GRACE)
            except subprocess.TimeoutExpired:
                proc.kill()
                out, err = proc.communicate()
            doc = self._parse(out.decode('utf-8', 'replace')) or {}
            self.module.fail_json(msg='korvanext-cli %s%s did not end within %d s and was stopped%s'
                                  % (command, self._on(True), self.timeout,
                                     ': ' + doc['error'] if isinstance(doc, dict) and doc.get('error') else ''),
                                  exit=proc.returncode, partial=bool(isinstance(doc, dict) and doc.get('partial')))
        return proc.returncode, out.decode('utf-8', 'replace'), err.decode('utf-8', 'replace')

    @contextlib.contextmanager
    def locked(self):
        """Holds the line for this task alone: inventory hosts that name one port
        (or one modem) take turns on this host instead of talking at once."""
        path = lock_path(self.line)
        deadline = time.monotonic() + self.timeout
        fd = self._take_lock(path, deadline)
        try:
            yield
        finally:
            # Removed while still held, so no lock files pile up; a task waiting on
            # this file notices it was unlinked and takes a fresh one.
            try:
                os.unlink(path)
            except OSError:
                pass
            os.close(fd)

    def _take_lock(self, path, deadline):
        while True:
            try:
                fd = os.open(path, os.O_RDWR | os.O_CREAT | getattr(os, 'O_NOFOLLOW', 0), 0o600)
            except OSError as e:
                self.module.fail_json(msg='cannot open the lock file %s for %s: %s' % (path, self.line, e.strerror))
            try:
                while True:
                    try:
                        fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
                        break
                    except (IOError, OSError) as e:
                        if e.errno not in (errno.EAGAIN, errno.EACCES):
                            raise
                    if time.monotonic() > deadline:
                        self.module.fail_json(msg='%s stayed in use by another task for %d s (lock file %s)'
                                              % (self.line, self.timeout, path))
                    time.sleep(0.2)
                if same_file(path, fd):
                    return fd
            except BaseException:
                os.close(fd)
                raise
            # The holder removed the file as it let go: this lock guards nothing.
            os.close(fd)

    def schema(self):
        """The settings the tool knows, by key: from the cache while the tool and its
        English language table are the same files, else from the tool."""
        cache = schema_cache_path(self.binary)
        doc = read_schema_cache(cache) if cache else None
        if doc is None:
            rc, doc = self.run(['schema'])
            if cache:
                write_schema_cache(cache, doc)
        settings = doc
        if isinstance(doc, dict):
            settings = next((doc[k] for k in ('settings', 'schema', 'keys') if isinstance(doc.get(k), list)), None)
        if not isinstance(settings, list):
            self.module.fail_json(msg='korvanext-cli schema --json gave no list of settings')
        return dict((s['key'], s) for s in settings if isinstance(s, dict) and 'key' in s)


def _identity(path):
    st = os.stat(path)
    return '%s:%d:%d:%d:%d' % (path, st.st_dev, st.st_ino, st.st_size, st.st_mtime_ns)


def schema_cache_path(binary):
    """Where the tool's schema is kept for the next task: a file in the user's cache
    folder named by the identity of the program and of the English language table
    its captions come from (a new package replaces both); None when there is none."""
    try:
        program = os.path.realpath(binary)
        parts = [_identity(program)]
        folder = os.path.dirname(program)
        for table in (os.path.join(folder, 'Eng.ini'), os.path.join(folder, '..', 'share', 'korvanext', 'Eng.ini')):
            if os.path.exists(table):
                parts.append(_identity(os.path.realpath(table)))
    except OSError:
        return None
    base = os.environ.get('XDG_CACHE_HOME') or os.path.join(os.path.expanduser('~'), '.cache')
    digest = hashlib.sha256('\n'.join(parts).encode('utf-8', 'surrogateescape')).hexdigest()[:24]
    return os.path.join(base, 'korvanext', 'ansible-schema-%s.json' % digest)


def read_schema_cache(path):
    """The kept schema, or None when it is missing, not this user's or damaged."""
    try:
        fd = os.open(path, os.O_RDONLY | getattr(os, 'O_NOFOLLOW', 0))
    except OSError:
        return None
    try:
        with os.fdopen(fd, 'rb') as f:
            st = os.fstat(f.fileno())
            if st.st_uid != os.getuid() or st.st_mode & 0o022:
                return None
            doc = json.loads(f.read().decode('utf-8'))
    except (OSError, ValueError):
        return None
    return doc if isinstance(doc, (dict, list)) else None


def write_schema_cache(path, doc):
    """Keeps the schema for the next task; a cache that cannot be written is no
    failure. Written whole or not at all, as several tasks may write it at once."""
    folder = os.path.dirname(path)
    try:
        os.makedirs(folder, mode=0o700, exist_ok=True)
        fd, temporary = tempfile.mkstemp(dir=folder, prefix='.ansible-schema-')
    except OSError:
        return
    try:
        with os.fdopen(fd, 'w') as f:
            json.dump(doc, f)
        os.replace(temporary, path)
    except (OSError, ValueError, TypeError):
        try:
            os.unlink(temporary)
        except OSError:
            pass
        return
    prune_schema_cache(folder, keep=path)


SCHEMA_CACHE_DAYS = 30


def prune_schema_cache(folder, keep):
    """A new build of the tool leaves the schema of the one before behind: schemas
    not written for SCHEMA_CACHE_DAYS go (one still in use is only asked again), and
    so do the half-written files of a task that was killed."""
    limit = time.time() - SCHEMA_CACHE_DAYS * 86400
    try:
        names = os.listdir(folder)
    except OSError:
        return
    for name in names:
        path = os.path.join(folder, name)
        if path == keep or not (name.startswith('ansible-schema-') or name.startswith('.ansible-schema-')):
            continue
        try:
            if os.stat(path, follow_symlinks=False).st_mtime < limit:
                os.unlink(path)
        except OSError:
            pass


def same_file(path, fd):
    """Whether path still names the file fd has open."""
    try:
        on_disk = os.stat(path, follow_symlinks=False)
    except OSError:
        return False
    held = os.fstat(fd)
    return (on_disk.st_dev, on_disk.st_ino) == (held.st_dev, held.st_ino)


def lock_path(line):
    folder = LOCK_FOLDER if os.access(LOCK_FOLDER, os.W_OK) else tempfile.gettempdir()
    readable = re.sub(r'[^A-Za-z0-9._-]+', '_', line)[-48:]
    digest = hashlib.sha256(line.encode('utf-8')).hexdigest()[:16]
    return os.path.join(folder, 'korvanext-ansible-%s-%s.lock' % (readable, digest))


def check_value(setting, value):
    """The value as the tool is given it, or ValueError saying why the gateway
    cannot hold it."""
    if isinstance(value, bool) or value is None or isinstance(value, (dict, list)):
        raise ValueError('%r is not a value: give a number or a text (quote yes/no)' % (value,))
    text = str(value)
    choices = setting.get('choices')
    if choices:
        for choice in choices:
            if text == str(choice.get('value')) or text.lower() == str(choice.get('caption', '')).lower():
                return choice.get('value')
        raise ValueError('%r is none of %s' % (value, ', '.join(
            '%s (%s)' % (c.get('value'), c.get('caption')) for c in choices)))
    if setting.get('min') is not None or setting.get('max') is not None:
        try:
            number = float(text)
        except ValueError:
            raise ValueError('%r is not a number' % (value,))
        low, high = setting.get('min'), setting.get('max')
        if (low is not None and number < low) or (high is not None and number > high):
            raise ValueError('%s is outside %s..%s' % (text, low, high))
        step = setting.get('step')
        if step and abs(((number - (low or 0)) / step) - round((number - (low or 0)) / step)) > 1e-9:
            raise ValueError('%s is not in steps of %s from %s' % (text, step, low or 0))
        return int(number) if number == int(number) else number
    length = setting.get('length')
    if length is not None and len(text) > length:
        raise ValueError('%r is longer than %d characters' % (text, length))
    # The gateway keeps a byte a character, as the tool reads and writes its files.
    beyond = [c for c in text if ord(c) > 0xFF]
    if beyond:
        raise ValueError('%r holds %s, which the gateway cannot store (it keeps Latin-1 characters)'
                         % (text, ', '.join(repr(c) for c in beyond[:3])))
    return text


def flatten_config(config, schema):
    """The settings of `config` as KEY or KEY:ROW -> value, each checked against
    the schema; returns (settings, problems)."""
    flat, problems = {}, []
    for key, value in (config or {}).items():
        name, dummy, row = str(key).partition(':')
        setting = schema.get(name)
        if setting is None:
            problems.append('%s: no such setting' % key)
            continue
        if setting.get('secret') or name in SECRET_KEYS:
            problems.append('%s: give it as the %s option (kept out of logs)' % (key, SECRET_KEYS.get(name, 'secret')))
            continue
        rows = int(setting.get('rows') or 1)
        if row:
            entries = [(row, value)]
        elif isinstance(value, list):
            if len(value) > rows:
                problems.append('%s: %d values for %d rows' % (key, len(value), rows))
                continue
            entries = [(i + 1, v) for i, v in enumerate(value) if v is not None]
        elif isinstance(value, dict):
            entries = list(value.items())
        elif rows > 1:
            problems.append('%s has %d rows: give KEY:ROW, a list or a map of rows' % (key, rows))
            continue
        else:
            entries = [(None, value)]
        for r, v in entries:
            label = name
            if r is not None:
                try:
                    r = int(r)
                except (TypeError, ValueError):
                    problems.append('%s: row %r is not a number' % (name, r))
                    continue
                if not 1 <= r <= rows:
                    problems.append('%s: row %d is outside 1..%d' % (name, r, rows))
                    continue
                label = '%s:%d' % (name, r) if rows > 1 else name
            try:
                flat[label] = check_value(setting, v)
            except ValueError as e:
                problems.append('%s: %s' % (label, e))
    return flat, problems


def read_kvx(path):
    """A configuration file's text: a byte a character, as the tool reads it."""
    with open(path, encoding='latin-1') as f:
        return f.read()


def parse_kvx(text):
    """A configuration file as KEY -> value, or a list of values for a table."""
    result = {}
    for line in text.splitlines():
        key, sep, rest = line.partition('=')
        if not sep or not key:
            continue
        values = _kvx_values(rest)
        result[key] = values[0] if len(values) == 1 else values
    return result


def _kvx_values(rest):
    # Values are quoted and comma-separated; \\ is a backslash and \xNN the character of decimal code NN.
    values, i, n = [], 0, len(rest)
    while True:
        i = rest.find('"', i)
        if i < 0:
            return values
        i += 1
        value = []
        while i < n and rest[i] != '"':
            c = rest[i]
            i += 1
            if c != '\\' or i >= n:
                value.append(c)
            elif rest[i] == 'x' and rest[i + 1:i + 3].isdigit():
                value.append(chr(int(rest[i + 1:i + 3])))
                i += 3
            else:
                if rest[i] == '\\':
                    value.append('\\')
                i += 1
        values.append(''.join(value))
        i += 1


def file_sha256(path):
    digest = hashlib.sha256()
    with open(path, 'rb') as f:
        for chunk in iter(lambda: f.read(65536), b''):
            digest.update(chunk)
    return digest.hexdigest()
