# -*- coding: utf-8 -*-
# Copyright: 2026 KorvanextWin developers
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)
"""The collection's modules run inside Ansible's worker process when the task runs on
the control machine itself: korvanext-cli is then started straight from the worker,
without a Python interpreter and a module payload for every host, which is most of a
no-change task's time on a busy controller. Any other task (another connection,
become, async, an environment of its own) runs the module as usual."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import multiprocessing

from ansible.module_utils.common.arg_spec import ArgumentSpecValidator
from ansible.module_utils.common.parameters import remove_values
from ansible.module_utils.common.process import get_bin_path
from ansible.module_utils.common.text.converters import to_text
from ansible.plugins.action import ActionBase
from ansible.plugins.loader import filter_loader, test_loader
from ansible.utils.vars import merge_hash

LOCAL_CONNECTIONS = ('local', 'ansible.builtin.local')


def load_jinja_plugins_in_controller():
    """Ansible forks a worker per host and task, and a worker loads the builtin Jinja
    filters and tests the first time a template uses one: some 0.1 s of CPU for every
    host whose task arguments use a filter, as the fleet playbook's do. Ansible loads
    this action in the controller before it forks the workers, so loading them here
    once leaves every worker with them."""
    if multiprocessing.parent_process() is None:
        for loader in (filter_loader, test_loader):
            next(loader.all(), None)


load_jinja_plugins_in_controller()


class Returned(BaseException):
    """A module's exit_json or fail_json: the task's result. A BaseException, as
    SystemExit is in a module process, so no handler of the module catches it."""

    def __init__(self, result):
        BaseException.__init__(self)
        self.result = result


class TaskModule(object):
    """What the collection's modules use of AnsibleModule, for a run in the worker:
    the parameters checked against the module's option rules, check and diff mode, the
    results with every no_log value masked."""

    def __init__(self, rules, args, check_mode=False, diff=False):
        self.check_mode = bool(check_mode)
        self._diff = bool(diff)
        self._warnings = []
        validator = ArgumentSpecValidator(rules['argument_spec'],
                                          mutually_exclusive=rules.get('mutually_exclusive'),
                                          required_together=rules.get('required_together'))
        validated = validator.validate(dict(args or {}))
        self.no_log_values = set(validated._no_log_values)
        self.params = validated.validated_parameters
        if validated.error_messages:
            self.fail_json(msg=validated.errors.msg)

    def warn(self, warning):
        self._warnings.append(to_text(warning))

    def get_bin_path(self, name, required=False):
        try:
            return get_bin_path(name)
        except ValueError as e:
            if required:
                self.fail_json(msg=to_text(e))
            return None

    def exit_json(self, **result):
        raise Returned(self._formatted(result))

    def fail_json(self, msg, **result):
        result.update(failed=True, msg=msg)
        raise Returned(self._formatted(result))

    def _formatted(self, result):
        result.setdefault('invocation', {'module_args': self.params})
        if self._warnings:
            result['warnings'] = list(result.get('warnings') or []) + self._warnings
        return remove_values(result, self.no_log_values)


class InWorkerAction(ActionBase):
    """The action of a module of this collection; MODULE is the module's Python
    module, with module_spec() and run(module)."""

    MODULE = None

    def run(self, tmp=None, task_vars=None):
        self._supports_check_mode = True
        self._supports_async = True
        result = super(InWorkerAction, self).run(tmp, task_vars)
        del tmp
        if result.get('skipped'):
            return result
        if not self.runs_in_worker():
            wrap_async = self._task.async_val and not self._connection.has_native_async
            result = merge_hash(result, self._execute_module(task_vars=task_vars, wrap_async=wrap_async))
            if not wrap_async:
                self._remove_tmp_path(self._connection._shell.tmpdir)
            return result
        try:
            self.MODULE.run(TaskModule(self.MODULE.module_spec(), self._task.args,
                                       check_mode=self._task.check_mode, diff=self._task.diff))
        except Returned as returned:
            return merge_hash(result, returned.result)
        return merge_hash(result, dict(failed=True, msg='%s ended without a result' % self._task.action))

    def runs_in_worker(self):
        """A task on the control machine as this user, in the foreground, with Ansible's
        own environment: what the module would see in its own process."""
        return (getattr(self._connection, 'transport', None) in LOCAL_CONNECTIONS
                and not self._play_context.become
                and not self._task.async_val
                and not any(self._task.environment or []))
