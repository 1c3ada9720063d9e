# -*- coding: utf-8 -*-
# Copyright: 2026 KorvanextWin developers
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: gateway_facts
short_description: Identify a GSM gateway, optionally with its GSM signal
version_added: 1.26.0
description:
  - Runs C(korvanext-cli identify) (and C(signal --count 1) with C(signal=true)) and sets
    C(ansible_facts.korvanext). Nothing is written to the gateway.
extends_documentation_fragment:
  - korvanext.gateway.link
options:
  signal:
    description:
      - Also take one reading of the GSM signal.
    type: bool
    default: false
attributes:
  check_mode:
    support: full
    description: Only reads, so it runs the same in check mode.
  diff_mode:
    support: none
    description: Gives no before and after.
author:
  - KorvanextWin developers (@korvanext)
'''

EXAMPLES = r'''
- name: Which gateway, which firmware, how good a signal
  korvanext.gateway.gateway_facts:
    port: "{{ gateway_port }}"
    signal: true
  delegate_to: localhost

- name: Show it
  ansible.builtin.debug:
    msg: "{{ ansible_facts.korvanext.serial }} runs {{ ansible_facts.korvanext.firmware }}"
'''

RETURN = r'''
ansible_facts:
  description: Facts about the gateway.
  returned: always
  type: complex
  contains:
    korvanext:
      description: The gateway's identification.
      type: complex
      contains:
        port:
          description: The line the gateway was reached on.
          type: str
        serial:
          description: Serial number.
          type: str
        firmware:
          description: Firmware version.
          type: str
          sample: "3.15"
        hardware:
          description: Hardware letter.
          type: str
        operator_lock:
          description: Operator lock, empty when none.
          type: str
        signal:
          description: One reading (with C(signal=true)); C(db) is null without a measurement.
          type: dict
          sample: {"csq": 17, "db": -79, "time": "2026-12-08T00:46:55"}
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.korvanext.gateway.plugins.module_utils.korvanext import (
    Cli, LINK_MUTUALLY_EXCLUSIVE, LINK_REQUIRED_TOGETHER, link_argument_spec)


def module_spec():
    """The options and their rules, for AnsibleModule and for a run in Ansible's worker."""
    return dict(
        argument_spec=link_argument_spec(signal=dict(type='bool', default=False)),
        mutually_exclusive=LINK_MUTUALLY_EXCLUSIVE,
        required_together=LINK_REQUIRED_TOGETHER,
        supports_check_mode=True,
    )


def run(module):
    cli = Cli(module)
    cli.link_args()
    with cli.locked():
        rc, doc = cli.run(['identify'], link=True)
        facts = dict(port=doc.get('port', cli.line), serial=doc.get('serial'), firmware=doc.get('firmware'),
                     hardware=doc.get('hardware'), operator_lock=doc.get('operatorLock'))
        if module.params['signal']:
            rc, doc = cli.run(['signal', '--count', '1'], link=True)
            reading = (doc.get('readings') or [{}])[-1]
            facts['signal'] = dict(csq=reading.get('csq'), db=reading.get('dB'), time=reading.get('time'))
    module.exit_json(changed=False, ansible_facts=dict(korvanext=facts))


def main():
    run(AnsibleModule(**module_spec()))


if __name__ == '__main__':
    main()
