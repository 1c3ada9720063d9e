# -*- coding: utf-8 -*-
# Copyright: 2026 KorvanextWin developers
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)
"""The modules against a fake korvanext-cli that records its calls: python3 -m unittest
or pytest, from the folder that holds ansible_collections/ (or any folder)."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os
import shutil
import sys
import tempfile
import time
import unittest

try:
    from unittest import mock
except ImportError:  # pragma: no cover
    import mock

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), *['..'] * 7))
if ROOT not in sys.path:
    sys.path.insert(0, ROOT)

from ansible.module_utils import basic  # noqa: E402
from ansible.module_utils.common.text.converters import to_bytes  # noqa: E402
from ansible_collections.korvanext.gateway.plugins.module_utils import korvanext  # noqa: E402
from ansible_collections.korvanext.gateway.plugins.modules import (  # noqa: E402
    gateway_backup, gateway_config, gateway_facts, gateway_firmware)
from ansible_collections.korvanext.gateway.plugins.plugin_utils import in_worker  # noqa: E402

FAKE = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..', 'fake-korvanext-cli'))
PIN = 'PIN-7305-never-shown'
PASSWORD = 'pw-40729-never-shown'
PORT = 'rfc2217://127.0.0.1:3001'

SCHEMA = [
    {'key': 'FXODTMFLength', 'type': 'number', 'rows': 1, 'default': '100', 'block': 1, 'secret': False,
     'asks': False, 'min': 50, 'max': 500, 'step': 10},
    {'key': 'FXOAdd', 'type': 'text', 'rows': 4, 'default': '', 'block': 2, 'secret': False, 'asks': False,
     'length': 8},
    {'key': 'FXODialType', 'type': 'choice', 'rows': 1, 'default': '0', 'block': 1, 'secret': False,
     'asks': False, 'choices': [{'value': 0, 'caption': 'Tone'}, {'value': 1, 'caption': 'Pulse'}]},
    {'key': 'PINVal', 'type': 'pin', 'rows': 1, 'default': '', 'block': 1, 'secret': True, 'asks': False,
     'length': 8},
]
IDENTITY = {'port': PORT, 'serial': 'SIM-01', 'firmware': '3.15', 'hardware': 'C', 'operatorLock': ''}


class Exited(Exception):
    def __init__(self, result):
        Exception.__init__(self)
        self.result = result


def exit_json(self, **kwargs):
    raise Exited(dict(kwargs, failed=False))


def fail_json(self, **kwargs):
    raise Exited(dict(kwargs, failed=True))


class ModuleCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dir)
        self.env = mock.patch.dict(os.environ, {'FAKE_KVX_DIR': self.dir, 'TMPDIR': self.dir,
                                                'XDG_CACHE_HOME': os.path.join(self.dir, 'cache')})
        self.env.start()
        self.addCleanup(self.env.stop)
        tempfile.tempdir = None
        self.addCleanup(setattr, tempfile, 'tempdir', None)
        self.answer(schema=[{'doc': SCHEMA}])

    def answer(self, **commands):
        path = os.path.join(self.dir, 'responses.json')
        known = {}
        if os.path.exists(path):
            with open(path) as f:
                known = json.load(f)
        known.update(commands)
        with open(path, 'w') as f:
            json.dump(known, f)

    def calls(self):
        path = os.path.join(self.dir, 'calls.jsonl')
        if not os.path.exists(path):
            return []
        with open(path) as f:
            return [json.loads(line) for line in f]

    def commands(self):
        return [c['argv'][0] for c in self.calls()]

    def run_module(self, module, check=False, diff=False, **args):
        args = dict(args, _ansible_check_mode=check, _ansible_diff=diff)
        args.setdefault('cli_path', FAKE)
        payload = to_bytes(json.dumps({'ANSIBLE_MODULE_ARGS': args}))
        with mock.patch.object(basic, '_ANSIBLE_ARGS', payload), \
                mock.patch.object(basic.AnsibleModule, 'exit_json', exit_json), \
                mock.patch.object(basic.AnsibleModule, 'fail_json', fail_json):
            with self.assertRaises(Exited) as raised:
                module.main()
        return raised.exception.result


class TestExitStatuses(ModuleCase):
    def test_each_failure_carries_the_tools_message_port_and_cause(self):
        for status, error, cause in (
                (15, 'The network port 127.0.0.1:3001 cannot be opened: Connection refused.',
                 'the port cannot be opened'),
                (12, 'The gateway does not answer.', 'no answer'),
                (5, 'Block 2 was read back different.', "the gateway's data damaged or not confirmed")):
            self.answer(identify=[{'exit': status, 'doc': {'error': error, 'port': PORT, 'result': 'x'}}])
            result = self.run_module(gateway_facts, port=PORT)
            self.assertTrue(result['failed'])
            self.assertIn(error, result['msg'])
            self.assertIn('on %s' % PORT, result['msg'])
            self.assertIn('exit %d: %s' % (status, cause), result['msg'])
            self.assertEqual(result['exit'], status)

    def test_output_that_is_no_json_is_a_failure_with_the_tools_text(self):
        self.answer(identify=[{'exit': 0, 'doc': None}])
        with mock.patch.object(korvanext.Cli, '_parse', staticmethod(lambda out: None)):
            result = self.run_module(gateway_facts, port=PORT)
        self.assertTrue(result['failed'])
        self.assertIn('printed no JSON', result['msg'])

    def test_a_tool_that_runs_too_long_is_stopped_and_named(self):
        self.answer(identify=[{'sleep': 30, 'doc': IDENTITY}])
        with mock.patch.object(korvanext, 'STOP_GRACE', 5):
            result = self.run_module(gateway_facts, port=PORT, timeout=1)
        self.assertTrue(result['failed'])
        self.assertIn('did not end within 1 s', result['msg'])

    def test_facts_with_signal(self):
        self.answer(identify=[{'doc': IDENTITY}],
                    signal=[{'doc': {'readings': [{'csq': 17, 'dB': -79, 'time': 't'}]}}])
        result = self.run_module(gateway_facts, port=PORT, signal=True)
        facts = result['ansible_facts']['korvanext']
        self.assertEqual((facts['serial'], facts['firmware'], facts['signal']['db']), ('SIM-01', '3.15', -79))
        self.assertEqual(self.calls()[-1]['argv'], ['signal', '--count', '1', '--port', PORT, '--wait', '15', '--json'])


class TestConfig(ModuleCase):
    CONFIG = {'FXODTMFLength': 150, 'FXOAdd:2': '0049', 'FXODialType': 'Pulse'}

    def apply_answer(self, exit, result):
        self.answer(apply=[{'exit': exit, 'doc': dict(IDENTITY, result=result, changed=result == 'changed',
                                                      before={'FXODTMFLength': '100', 'PINVal': '(secret)'},
                                                      after={'FXODTMFLength': '150', 'PINVal': '(secret)'},
                                                      partial=False, backup='/b')}])

    def test_check_mode_only_ever_asks_apply_with_check(self):
        self.apply_answer(6, 'would-change')
        result = self.run_module(gateway_config, port=PORT, config=self.CONFIG, check=True, diff=True)
        self.assertTrue(result['changed'])
        self.assertEqual(result['diff'], {'before': {'FXODTMFLength': '100', 'PINVal': '(secret)'},
                                          'after': {'FXODTMFLength': '150', 'PINVal': '(secret)'}})
        applies = [c['argv'] for c in self.calls() if c['argv'][0] == 'apply']
        self.assertEqual(len(applies), 1)
        self.assertIn('--check', applies[0])
        self.apply_answer(0, 'unchanged')
        self.assertFalse(self.run_module(gateway_config, port=PORT, config=self.CONFIG, check=True)['changed'])
        self.assertTrue(all('--check' in c['argv'] for c in self.calls() if c['argv'][0] == 'apply'))

    def test_apply_gets_the_checked_settings_and_reports_its_change(self):
        self.apply_answer(0, 'changed')
        result = self.run_module(gateway_config, port=PORT, config=dict(self.CONFIG, FXOAdd=[None, None, '7', 'Mü']),
                                 state='replaced')
        self.assertTrue(result['changed'])
        self.assertNotIn('diff', result)
        call = [c for c in self.calls() if c['argv'][0] == 'apply'][0]
        self.assertNotIn('--check', call['argv'])
        self.assertEqual(call['argv'][2:4], ['--state', 'replaced'])
        self.assertEqual(json.loads(call['state']),
                         {'FXODTMFLength': 150, 'FXOAdd:2': '0049', 'FXOAdd:3': '7', 'FXOAdd:4': 'Mü',
                          'FXODialType': 1})

    def test_secrets_reach_the_tool_only_through_its_environment(self):
        self.apply_answer(0, 'changed')
        result = self.run_module(gateway_config, port=PORT, config=self.CONFIG, pin=PIN, service_password=PASSWORD)
        call = [c for c in self.calls() if c['argv'][0] == 'apply'][0]
        self.assertEqual(sorted(call['env'].values()), sorted([PIN, PASSWORD]))
        state = json.loads(call['state'])
        self.assertEqual(state['PINVal'], {'env': 'KORVANEXT_ANSIBLE_PIN'})
        for c in self.calls():
            self.assertFalse([a for a in c['argv'] if PIN in a or PASSWORD in a])
        self.assertNotIn(PIN, json.dumps(result))
        self.assertNotIn(PASSWORD, json.dumps(result))
        # The state file is gone once the task ends.
        self.assertFalse(os.path.exists(call['argv'][1]))

    def test_a_failed_apply_says_when_the_gateway_may_hold_part_of_it(self):
        self.answer(apply=[{'exit': 10, 'doc': {'error': 'The write was cut off in the middle of block 2.',
                                                'result': 'failed', 'partial': True}}])
        result = self.run_module(gateway_config, port=PORT, config=self.CONFIG, pin=PIN)
        self.assertTrue(result['failed'])
        self.assertIn('cut off in the middle of block 2', result['msg'])
        self.assertIn('may hold part of the change', result['msg'])
        self.assertTrue(result['partial'])
        self.assertNotIn(PIN, json.dumps(result))

    def test_settings_are_refused_before_any_gateway_command(self):
        for config, problem in (({'NoSuchKey': 1}, 'NoSuchKey: no such setting'),
                                ({'FXODTMFLength': 155}, 'not in steps of 10'),
                                ({'FXODTMFLength': 5000}, 'outside 50..500'),
                                ({'FXODTMFLength': 'abc'}, 'not a number'),
                                ({'FXODialType': 'Rotary'}, 'none of 0 (Tone), 1 (Pulse)'),
                                ({'FXOAdd:5': '1'}, 'row 5 is outside 1..4'),
                                ({'FXOAdd': '1'}, 'has 4 rows'),
                                ({'FXOAdd': ['1'] * 5}, '5 values for 4 rows'),
                                ({'FXOAdd': {2: '123456789'}}, 'longer than 8'),
                                ({'FXOAdd': {2: 'Łódź'}}, "'Ł', 'ź', which the gateway cannot store"),
                                ({'FXODialType': True}, 'quote yes/no'),
                                ({'PINVal': {'env': 'X'}}, 'give it as the pin option')):
            for state in ('merged', 'rendered'):
                # The schema as the fake gives it, without a process for each case.
                with mock.patch.object(korvanext.Cli, 'schema', lambda cli: dict((s['key'], s) for s in SCHEMA)):
                    result = self.run_module(gateway_config, port=PORT, config=config, state=state)
                self.assertTrue(result['failed'], config)
                self.assertIn(problem, result['msg'])
        self.assertTrue(self.run_module(gateway_config, port=PORT, config={'FXOAdd:0': '1'})['failed'])
        self.assertEqual(self.commands(), ['schema'])

    def test_the_schema_is_asked_once_while_the_tool_stays_the_same(self):
        cli = os.path.join(self.dir, 'korvanext-cli')
        shutil.copy2(FAKE, cli)
        self.apply_answer(0, 'unchanged')
        cache = korvanext.schema_cache_path(cli)
        for dummy in range(2):
            self.assertFalse(self.run_module(gateway_config, port=PORT, config=self.CONFIG, cli_path=cli)['failed'])
        self.assertEqual(self.commands(), ['schema', 'apply', 'apply'])
        self.assertEqual(os.stat(cache).st_mode & 0o777, 0o600)
        # A damaged cache is asked again and replaced.
        with open(cache, 'w') as f:
            f.write('{"settings": [')
        self.run_module(gateway_config, port=PORT, config=self.CONFIG, cli_path=cli)
        self.assertEqual(self.commands()[-2:], ['schema', 'apply'])
        with open(cache) as f:
            self.assertEqual(json.load(f), SCHEMA)
        # A cache others may write is not trusted.
        os.chmod(cache, 0o666)
        self.run_module(gateway_config, port=PORT, config=self.CONFIG, cli_path=cli)
        self.assertEqual(self.commands()[-2:], ['schema', 'apply'])
        self.assertEqual(os.stat(cache).st_mode & 0o777, 0o600)
        # Another tool (here the same file, newer) is asked for its own. Writing it
        # removes schemas and half-written files not written for a month, nothing else.
        folder = os.path.dirname(cache)
        month_old = time.time() - (korvanext.SCHEMA_CACHE_DAYS + 1) * 86400
        for stale in ('ansible-schema-0123.json', '.ansible-schema-killed'):
            with open(os.path.join(folder, stale), 'w') as f:
                f.write('{}')
            os.utime(os.path.join(folder, stale), (month_old, month_old))
        with open(os.path.join(folder, 'other'), 'w') as f:
            f.write('{}')
        os.utime(os.path.join(folder, 'other'), (month_old, month_old))
        os.utime(cli, (1, 1))
        self.assertNotEqual(korvanext.schema_cache_path(cli), cache)
        self.run_module(gateway_config, port=PORT, config=self.CONFIG, cli_path=cli)
        self.assertEqual(self.commands()[-2:], ['schema', 'apply'])
        self.assertEqual(sorted(os.listdir(folder)), sorted(
            [os.path.basename(cache), os.path.basename(korvanext.schema_cache_path(cli)), 'other']))

    def test_gathered_reads_the_gateway_into_settings(self):
        # The tool's files keep a byte a character (here "ü" as one byte).
        kvx = 'FXOAdd="","12\\x34","","Mü"\nFXODTMFLength="100"\nFXODefAdd="a\\\\b"\n'
        self.answer(read=[{'doc': IDENTITY, 'files': {'.': kvx}}])
        result = self.run_module(gateway_config, port=PORT, state='gathered')
        self.assertEqual(result['gathered'], {'FXOAdd': ['', '12"', '', 'Mü'], 'FXODTMFLength': '100',
                                              'FXODefAdd': 'a\\b'})
        self.assertFalse(result['changed'])

    def test_rendered_touches_no_port(self):
        self.answer(defaults=[{'files': {'.': 'FXODTMFLength="100"\n'}}],
                    set=[{'doc': {'changed': [{'key': 'FXOAdd', 'row': 2, 'given': '0049', 'stored': '49'}]}}])
        result = self.run_module(gateway_config, state='rendered', config={'FXOAdd:2': '0049'})
        self.assertEqual(result['rendered'], 'FXODTMFLength="100"\n')
        self.assertEqual(self.commands(), ['schema', 'defaults', 'set'])
        self.assertEqual(self.calls()[-1]['argv'][2:], ['FXOAdd:2=0049', '--json'])
        self.assertFalse([c for c in self.calls() if '--port' in c['argv']])


class TestFirmware(ModuleCase):
    def declined(self, gateway):
        return {'exit': 4, 'doc': {'result': 'declined', 'fileVersion': '3.20', 'previousFirmware': gateway,
                                   'error': 'Load this firmware? (not agreed: no --yes)'}}

    def yes_calls(self):
        return [c for c in self.calls() if '--yes' in c['argv']]

    def test_check_mode_says_whether_an_upgrade_would_run_and_sends_nothing(self):
        for gateway, changed in (('3.15', True), ('3.20', False)):
            self.answer(upgrade=[self.declined(gateway)])
            result = self.run_module(gateway_firmware, port=PORT, path='/fw.Bin', check=True)
            self.assertEqual(result['changed'], changed)
        self.answer(upgrade=[self.declined('3.20')])
        self.assertFalse(self.run_module(gateway_firmware, port=PORT, path='/fw.Bin')['changed'])
        self.assertEqual(self.yes_calls(), [])

    def test_a_damaged_file_is_refused_without_sending(self):
        self.answer(upgrade=[{'exit': 3, 'doc': {'error': "'fw.Bin' is damaged: it carries the checksum 0x1",
                                                 'result': 'bad data'}}])
        result = self.run_module(gateway_firmware, port=PORT, path='/fw.Bin')
        self.assertTrue(result['failed'])
        self.assertIn('is damaged', result['msg'])
        self.assertNotIn('incomplete', result['msg'])
        self.assertEqual(self.yes_calls(), [])

    def test_a_cut_upgrade_fails_once_saying_the_firmware_may_be_incomplete(self):
        self.answer(upgrade=[self.declined('3.15'),
                             {'exit': 10, 'doc': {'error': 'The line was lost.', 'result': 'line lost'}}])
        result = self.run_module(gateway_firmware, port=PORT, path='/fw.Bin')
        self.assertTrue(result['failed'])
        self.assertIn('firmware may be incomplete', result['msg'])
        self.assertEqual(len(self.yes_calls()), 1)

    def test_an_upgrade_reports_the_new_version(self):
        self.answer(upgrade=[self.declined('3.15'), {'doc': {'result': 'done', 'firmware': '3.20'}}])
        result = self.run_module(gateway_firmware, port=PORT, path='/fw.Bin')
        self.assertEqual((result['changed'], result['previous_firmware'], result['firmware']), (True, '3.15', '3.20'))


class TestBackupAndLock(ModuleCase):
    def test_backup_files_are_kept_in_dest_with_their_checksums(self):
        self.answer(backup=[{'doc': dict(IDENTITY, files=['gw.kvx', 'gw.bin']),
                             'files': {'gw.kvx': 'FXODTMFLength="100"\n', 'gw.bin': 'image'}}])
        dest = os.path.join(self.dir, 'kept', 'SIM-01')
        result = self.run_module(gateway_backup, port=PORT, dest=dest)
        self.assertEqual([f['path'] for f in result['files']], [os.path.join(dest, 'gw.kvx'), os.path.join(dest, 'gw.bin')])
        self.assertEqual(result['files'][1]['sha256'],
                         '6105d6cc76af400325e94d588ce511be5bfdbb73b437dc51eca43917d7a43e3d')
        result = self.run_module(gateway_backup, port=PORT, dest=dest)
        self.assertTrue(result['failed'])
        self.assertIn('exists already', result['msg'])

    def test_one_port_is_driven_by_one_task_at_a_time(self):
        self.answer(identify=[{'doc': IDENTITY}])
        with mock.patch.object(korvanext, 'LOCK_FOLDER', self.dir):
            holder = korvanext.Cli(mock.Mock(params={'port': PORT, 'cli_path': FAKE, 'timeout': 1}))
            with holder.locked():
                result = self.run_module(gateway_facts, port=PORT, timeout=1)
                self.assertTrue(result['failed'])
                self.assertIn('stayed in use by another task', result['msg'])
                self.assertFalse(self.run_module(gateway_facts, port=PORT + '0')['failed'])
            self.assertFalse(self.run_module(gateway_facts, port=PORT)['failed'])
            self.assertEqual([n for n in os.listdir(self.dir) if n.endswith('.lock')], [])

    def test_a_task_that_waited_on_a_released_lock_file_takes_a_fresh_one(self):
        with mock.patch.object(korvanext, 'LOCK_FOLDER', self.dir):
            path = korvanext.lock_path(PORT)
            first = korvanext.Cli(mock.Mock(params={'port': PORT, 'cli_path': FAKE, 'timeout': 5}))
            second = korvanext.Cli(mock.Mock(params={'port': PORT, 'cli_path': FAKE, 'timeout': 5}))
            taken = []
            real_flock = korvanext.fcntl.flock

            def flock(fd, how):
                # The second task's first try finds the file held; the holder then
                # lets go, unlinking it, before the second task tries again.
                if not taken:
                    taken.append(fd)
                    with first.locked():
                        real_flock(fd, how)
                return real_flock(fd, how)

            with mock.patch.object(korvanext.fcntl, 'flock', flock):
                with second.locked():
                    # The one on disk is the one held: a third task cannot take it.
                    probe = os.open(path, os.O_RDWR)
                    with self.assertRaises(OSError):
                        real_flock(probe, korvanext.fcntl.LOCK_EX | korvanext.fcntl.LOCK_NB)
                    os.close(probe)
            self.assertFalse(os.path.exists(path))


class TestInWorker(ModuleCase):
    """The modules as Ansible's worker runs them on a local connection."""

    def run_in_worker(self, module, check=False, diff=False, **args):
        args.setdefault('cli_path', FAKE)
        try:
            module.run(in_worker.TaskModule(module.module_spec(), args, check_mode=check, diff=diff))
        except in_worker.Returned as returned:
            return returned.result
        self.fail('the module returned no result')

    def test_options_are_checked_as_the_module_checks_them(self):
        for args, problem in ((dict(port=PORT, modem='/dev/ttyACM0', modem_number='1'), 'mutually exclusive'),
                              (dict(modem='/dev/ttyACM0'), 'required together'),
                              (dict(port=PORT, state='absent'), 'state must be one of'),
                              (dict(port=PORT, wait='soon'), 'wait')):
            result = self.run_in_worker(gateway_config, **args)
            self.assertTrue(result['failed'], args)
            self.assertIn(problem, result['msg'])
        self.assertEqual(self.commands(), [])

    def test_check_and_diff_mode_reach_apply_and_the_pin_never_shows(self):
        TestConfig.apply_answer(self, 6, 'would-change')
        result = self.run_in_worker(gateway_config, check=True, diff=True, port=PORT, config=TestConfig.CONFIG,
                                    pin=PIN)
        self.assertTrue(result['changed'])
        self.assertIn('diff', result)
        self.assertIn('--check', [c for c in self.calls() if c['argv'][0] == 'apply'][0]['argv'])
        self.assertNotIn(PIN, json.dumps(result))
        self.assertIn('pin', result['invocation']['module_args'])
        # A failure's message and details are masked the same way.
        self.answer(apply=[{'exit': 13, 'doc': {'error': 'The gateway refused PIN %s.' % PIN}}])
        result = self.run_in_worker(gateway_config, port=PORT, config=TestConfig.CONFIG, pin=PIN)
        self.assertTrue(result['failed'])
        self.assertNotIn(PIN, json.dumps(result))

    def test_warnings_and_facts_are_returned(self):
        self.answer(defaults=[{'files': {'.': 'FXODTMFLength="100"\n'}}], set=[{'doc': {}}])
        result = self.run_in_worker(gateway_config, state='rendered', config={}, pin=PIN)
        self.assertIn('no PIN or service password', ' '.join(result['warnings']))
        self.answer(identify=[{'doc': IDENTITY}])
        result = self.run_in_worker(gateway_facts, port=PORT)
        self.assertEqual(result['ansible_facts']['korvanext']['serial'], 'SIM-01')
        result = self.run_in_worker(gateway_facts, port=PORT, cli_path=os.path.join(self.dir, 'missing'))
        self.assertTrue(result['failed'])


if __name__ == '__main__':
    unittest.main()
