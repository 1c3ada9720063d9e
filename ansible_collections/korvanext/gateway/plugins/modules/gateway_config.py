# -*- coding: utf-8 -*-
# Copyright: 2026 KorvanextWin developers
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: gateway_config
short_description: Bring a GSM gateway's configuration to a desired state
version_added: 1.26.0
description:
  - Gives C(korvanext-cli apply) the settings that matter. The tool checks every value
    before it opens the port, reads only the blocks it needs and writes (verified) only
    the blocks that differ, keeping a copy of what the gateway held first.
  - The settings are first checked against C(korvanext-cli schema), so an unknown key or
    a value the gateway cannot hold fails before any port is opened.
  - C(state=gathered) returns what the gateway holds; C(state=rendered) returns the
    configuration file the settings make from the defaults, without any gateway.
extends_documentation_fragment:
  - korvanext.gateway.link
options:
  config:
    description:
      - Settings by key, as C(korvanext-cli keys) and C(korvanext-cli schema) name them.
      - A table's rows are given as C(KEY:ROW) keys (rows count from 1), as a list from
        row 1 (C(null) leaves a row alone) or as a map of row numbers to values.
      - C(PINVal) and C(ServisPassw) are not taken here; use C(pin) and C(service_password).
    type: dict
    default: {}
  state:
    description:
      - C(merged) sets the settings named and leaves the rest as the gateway holds it.
      - C(replaced) sets the settings named and every other setting to its default.
      - C(gathered) reads the gateway's configuration into C(gathered); nothing is written.
      - C(rendered) makes a configuration file from the defaults and C(config) into
        C(rendered) without opening any port.
    type: str
    choices: [merged, replaced, gathered, rendered]
    default: merged
  pin:
    description:
      - The SIM PIN the gateway should hold (C(PINVal)). It reaches the tool through an
        environment variable named in the state file, never on a command line, and is
        not logged.
    type: str
  service_password:
    description:
      - The gateway's service password (C(ServisPassw)), passed as C(pin) is.
    type: str
attributes:
  check_mode:
    support: full
    description: Runs C(korvanext-cli apply --check), which never writes; C(changed) says whether a write would.
  diff_mode:
    support: full
    description: Returns the differing settings only, secrets shown as C((secret)).
author:
  - KorvanextWin developers (@korvanext)
'''

EXAMPLES = r'''
- name: Baseline and per-gateway numbers
  korvanext.gateway.gateway_config:
    port: "{{ gateway_port }}"
    config: "{{ gateway_baseline | combine(gateway_settings) }}"
    pin: "{{ vault_gateway_pin }}"
  delegate_to: localhost

- name: Routing rows as KEY:ROW, a list or a map
  korvanext.gateway.gateway_config:
    port: rfc2217://rack7:3001
    config:
      FXODTMFLength: 150
      "FXOAdd:2": "0049"
      FXOCallTime: {1: 60, 3: 120}

- name: What the gateway holds
  korvanext.gateway.gateway_config:
    port: /dev/ttyUSB0
    state: gathered
  register: held

- name: The file the settings make, no gateway needed
  korvanext.gateway.gateway_config:
    state: rendered
    config:
      FXODTMFLength: 150
  register: sheet
'''

RETURN = r'''
result:
  description: The tool's verdict.
  returned: state is merged or replaced
  type: str
  sample: changed
before:
  description: The differing settings as the gateway held them (KEY or KEY:ROW); secrets as C((secret)).
  returned: state is merged or replaced
  type: dict
  sample: {"FXODTMFLength": "100"}
after:
  description: The differing settings as they are (or would be) after the task.
  returned: state is merged or replaced
  type: dict
  sample: {"FXODTMFLength": "150"}
serial:
  description: The gateway's serial number.
  returned: when a gateway was reached
  type: str
firmware:
  description: The gateway's firmware version.
  returned: when a gateway was reached
  type: str
backup:
  description: The folder of the copy of what the gateway held before the write.
  returned: when the gateway was written
  type: str
partial:
  description: True when the gateway may hold part of the change (a write broken off).
  returned: state is merged or replaced
  type: bool
gathered:
  description: The gateway's settings, a table as a list from row 1.
  returned: state is gathered
  type: dict
rendered:
  description: The configuration file (.kvx) the settings make from the defaults.
  returned: state is rendered
  type: str
'''

import json
import os
import shutil
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.korvanext.gateway.plugins.module_utils.korvanext import (
    Cli, LINK_MUTUALLY_EXCLUSIVE, LINK_REQUIRED_TOGETHER, SECRET_ENV, flatten_config, link_argument_spec, parse_kvx,
    read_kvx)


def write_state(folder, settings, secrets):
    """The desired state for apply; secrets appear only as the names of variables."""
    state = dict(settings)
    for key in secrets:
        state[key] = {'env': SECRET_ENV[key]}
    # JSON, which the tool reads as it reads YAML, spares each task loading a YAML library.
    path = os.path.join(folder, 'desired.json')
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    with os.fdopen(fd, 'w', encoding='utf-8') as f:
        json.dump(state, f, ensure_ascii=False, sort_keys=True)
    return path


def apply(module, cli, settings):
    p = module.params
    secrets = dict((k, v) for k, v in (('PINVal', p['pin']), ('ServisPassw', p['service_password'])) if v is not None)
    env = dict((SECRET_ENV[k], v) for k, v in secrets.items())
    folder = tempfile.mkdtemp(prefix='korvanext-ansible-')
    try:
        path = write_state(folder, settings, secrets)
        args = ['apply', path, '--state', p['state'], '--diff']
        if module.check_mode:
            args.append('--check')

        def note(rc, doc):
            if doc.get('partial'):
                return 'The gateway may hold part of the change: switch it off and on, then run again'
            return None
        with cli.locked():
            rc, doc = cli.run(args, link=True, env=env, accept=(0, 6) if module.check_mode else (0,),
                              failure_note=note)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    result = dict(
        changed=bool(doc.get('changed')) or doc.get('result') in ('changed', 'would-change') or rc == 6,
        result=doc.get('result'),
        before=doc.get('before') or {},
        after=doc.get('after') or {},
        partial=bool(doc.get('partial')),
    )
    for key in ('serial', 'firmware', 'backup'):
        if doc.get(key) is not None:
            result[key] = doc[key]
    if module._diff:
        result['diff'] = dict(before=result['before'], after=result['after'])
    return result


def gathered(cli):
    folder = tempfile.mkdtemp(prefix='korvanext-ansible-')
    try:
        path = os.path.join(folder, 'gateway.kvx')
        with cli.locked():
            rc, doc = cli.run(['read', path], link=True)
        settings = parse_kvx(read_kvx(path))
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    return dict(changed=False, gathered=settings, serial=doc.get('serial'), firmware=doc.get('firmware'))


def rendered(module, cli, settings):
    folder = tempfile.mkdtemp(prefix='korvanext-ansible-')
    try:
        path = os.path.join(folder, 'rendered.kvx')
        cli.run(['defaults', path])
        warnings = []
        if settings:
            rc, doc = cli.run(['set', path] + ['%s=%s' % (k, v) for k, v in sorted(settings.items())])
            # The tool refuses a value it would store otherwise (exit 3), so this
            # names only what an older tool adjusted.
            for c in doc.get('changed') or []:
                if c.get('given') == c.get('stored'):
                    continue
                warnings.append('%s%s: %r is stored as %r' % (c.get('key'), ':%s' % c['row'] if c.get('row') else '',
                                                              c.get('given'), c.get('stored')))
        text = read_kvx(path)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    if module.params['pin'] is not None or module.params['service_password'] is not None:
        warnings.append('a configuration file holds no PIN or service password: they are not rendered')
    for w in warnings:
        module.warn(w)
    return dict(changed=False, rendered=text)


def module_spec():
    """The options and their rules, for AnsibleModule and for a run in Ansible's worker."""
    return dict(
        argument_spec=link_argument_spec(
            config=dict(type='dict', default={}),
            state=dict(type='str', default='merged', choices=['merged', 'replaced', 'gathered', 'rendered']),
            pin=dict(type='str', no_log=True),
            service_password=dict(type='str', no_log=True),
        ),
        mutually_exclusive=LINK_MUTUALLY_EXCLUSIVE,
        required_together=LINK_REQUIRED_TOGETHER,
        supports_check_mode=True,
    )


def run(module):
    cli = Cli(module)
    state = module.params['state']
    if state == 'gathered':
        cli.link_args()
        module.exit_json(**gathered(cli))
    # Every value is checked before any port is opened.
    settings, problems = flatten_config(module.params['config'], cli.schema())
    if problems:
        module.fail_json(msg='the settings hold values the gateway cannot take: ' + '; '.join(problems),
                         problems=problems)
    if state == 'rendered':
        module.exit_json(**rendered(module, cli, settings))
    cli.link_args()
    module.exit_json(**apply(module, cli, settings))


def main():
    run(AnsibleModule(**module_spec()))


if __name__ == '__main__':
    main()
