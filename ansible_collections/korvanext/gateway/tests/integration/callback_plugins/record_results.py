# -*- coding: utf-8 -*-
# Copyright: 2026 KorvanextWin developers
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)
"""Writes every task result and the recap as JSON to $KVX_RESULTS for run.sh to check
(ansible-core alone has no JSON output)."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = '''
name: record_results
type: aggregate
short_description: task results and recap as JSON in $KVX_RESULTS
description: Used by the integration test of korvanext.gateway.
'''

import json
import os

from ansible.plugins.callback import CallbackBase


class CallbackModule(CallbackBase):
    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = 'aggregate'
    CALLBACK_NAME = 'record_results'
    CALLBACK_NEEDS_ENABLED = True

    def __init__(self):
        super(CallbackModule, self).__init__()
        self.results = []

    def _record(self, result, status):
        self.results.append(dict(host=result._host.get_name(), task=result._task.get_name(), status=status,
                                 result=result._result))

    def v2_runner_on_ok(self, result):
        self._record(result, 'ok')

    def v2_runner_on_failed(self, result, ignore_errors=False):
        self._record(result, 'failed')

    def v2_runner_on_unreachable(self, result):
        self._record(result, 'unreachable')

    def v2_playbook_on_stats(self, stats):
        recap = dict((h, stats.summarize(h)) for h in sorted(stats.processed.keys()))
        with open(os.environ['KVX_RESULTS'], 'w') as f:
            json.dump(dict(results=self.results, stats=recap), f, default=str, indent=1)
