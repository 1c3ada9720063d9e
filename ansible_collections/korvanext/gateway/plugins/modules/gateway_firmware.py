# -*- coding: utf-8 -*-
# Copyright: 2026 KorvanextWin developers
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: gateway_firmware
short_description: Load a firmware file into a GSM gateway when it runs another version
version_added: 1.26.0
description:
  - Asks C(korvanext-cli upgrade) without agreeing first, which names the file's version and
    the gateway's; only when they differ (or with C(force)) is the upgrade run.
  - A damaged file (its bytes do not add up to its own checksum) is refused before anything
    is sent.
  - An upgrade broken off is a failure that says the gateway's firmware may be incomplete.
    The module never repeats an upgrade by itself.
extends_documentation_fragment:
  - korvanext.gateway.link
options:
  path:
    description:
      - The firmware file (C(.Bin)) on the host the task runs on.
    type: path
    required: true
  force:
    description:
      - Load the file even when the gateway already reports its version.
    type: bool
    default: false
attributes:
  check_mode:
    support: full
    description: Says whether an upgrade would run; nothing is sent.
  diff_mode:
    support: none
    description: Gives no before and after.
author:
  - KorvanextWin developers (@korvanext)
'''

EXAMPLES = r'''
- name: Firmware 3.20 on every gateway, one line at a time per port
  korvanext.gateway.gateway_firmware:
    port: "{{ gateway_port }}"
    path: /srv/firmware/Korvanext-3.20.Bin
    wait: 20
  delegate_to: localhost
'''

RETURN = r'''
file_version:
  description: The version the file carries.
  returned: success
  type: str
  sample: "3.20"
previous_firmware:
  description: What the gateway reported before.
  returned: success
  type: str
  sample: "3.15"
firmware:
  description: What the gateway reports now (before, in check mode or when nothing was sent).
  returned: success
  type: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.korvanext.gateway.plugins.module_utils.korvanext import (
    Cli, LINK_MUTUALLY_EXCLUSIVE, LINK_REQUIRED_TOGETHER, link_argument_spec)


def cut_note(rc, doc):
    # Statuses 1-4 and 15 end before the first block; any later one may leave the firmware half loaded.
    if rc in (1, 2, 3, 4, 15):
        return None
    return ('The gateway\'s firmware may be incomplete: check it and repeat the upgrade by hand '
            '(the module does not retry it)')


def module_spec():
    """The options and their rules, for AnsibleModule and for a run in Ansible's worker."""
    return dict(
        argument_spec=link_argument_spec(path=dict(type='path', required=True),
                                         force=dict(type='bool', default=False)),
        mutually_exclusive=LINK_MUTUALLY_EXCLUSIVE,
        required_together=LINK_REQUIRED_TOGETHER,
        supports_check_mode=True,
    )


def run(module):
    cli = Cli(module)
    cli.link_args()
    path = module.params['path']
    with cli.locked():
        # Without --yes the tool checks the file, identifies the gateway and declines (exit 4).
        rc, doc = cli.run(['upgrade', path], link=True, accept=(0, 4))
        if rc == 0 or 'fileVersion' not in doc:
            module.fail_json(msg='korvanext-cli upgrade on %s did not name the versions: %s'
                             % (cli.line, doc.get('error')), exit=rc)
        result = dict(file_version=doc.get('fileVersion'), previous_firmware=doc.get('previousFirmware'),
                      firmware=doc.get('previousFirmware'))
        needed = module.params['force'] or result['file_version'] != result['previous_firmware']
        if not needed or module.check_mode:
            module.exit_json(changed=needed, **result)
        rc, doc = cli.run(['upgrade', path, '--yes'], link=True, failure_note=cut_note)
    result['firmware'] = doc.get('firmware')
    module.exit_json(changed=True, **result)


def main():
    run(AnsibleModule(**module_spec()))


if __name__ == '__main__':
    main()
