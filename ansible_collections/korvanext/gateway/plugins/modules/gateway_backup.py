# -*- coding: utf-8 -*-
# Copyright: 2026 KorvanextWin developers
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: gateway_backup
short_description: Read a GSM gateway's configuration into a time-stamped file and image
version_added: 1.26.0
description:
  - Runs C(korvanext-cli backup) into a new temporary folder on the host the task runs on and
    returns the files' paths and SHA-256 checksums.
  - With C(dest) the files are moved into that folder (created C(0700) when missing); a file
    of the same name there is never replaced. Without it they stay in the temporary folder
    (C(folder)) for M(ansible.builtin.fetch); remove it afterwards.
extends_documentation_fragment:
  - korvanext.gateway.link
options:
  dest:
    description:
      - The folder to keep the files in.
    type: path
attributes:
  check_mode:
    support: full
    description: Reads nothing and reports that a backup would be made.
  diff_mode:
    support: none
    description: Gives no before and after.
author:
  - KorvanextWin developers (@korvanext)
'''

EXAMPLES = r'''
- name: Back up the gateway
  korvanext.gateway.gateway_backup:
    port: "{{ gateway_port }}"
  delegate_to: localhost
  register: backup

- name: Keep the configuration file on the controller
  ansible.builtin.fetch:
    src: "{{ backup.files[0].path }}"
    dest: "backups/{{ inventory_hostname }}/"
    flat: true
  delegate_to: localhost
'''

RETURN = r'''
files:
  description: The files of the backup, the configuration file first.
  returned: success
  type: list
  elements: dict
  sample: [{"path": "/tmp/korvanext-backup-x/gateway-SIM-01-20261208-004656.kvx", "sha256": "9f86...", "size": 3711}]
folder:
  description: The folder the files are in.
  returned: success
  type: str
serial:
  description: The gateway's serial number.
  returned: success
  type: str
firmware:
  description: The gateway's firmware version.
  returned: success
  type: str
'''

import os
import shutil
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.korvanext.gateway.plugins.module_utils.korvanext import (
    Cli, LINK_MUTUALLY_EXCLUSIVE, LINK_REQUIRED_TOGETHER, file_sha256, link_argument_spec)


def keep(module, files, dest):
    if not os.path.isdir(dest):
        os.makedirs(dest, 0o700)
    kept = []
    for path in files:
        target = os.path.join(dest, os.path.basename(path))
        if os.path.lexists(target):
            module.fail_json(msg='%s exists already; the backup stays in %s' % (target, os.path.dirname(path)))
        shutil.move(path, target)
        kept.append(target)
    return kept


def module_spec():
    """The options and their rules, for AnsibleModule and for a run in Ansible's worker."""
    return dict(
        argument_spec=link_argument_spec(dest=dict(type='path')),
        mutually_exclusive=LINK_MUTUALLY_EXCLUSIVE,
        required_together=LINK_REQUIRED_TOGETHER,
        supports_check_mode=True,
    )


def run(module):
    cli = Cli(module)
    cli.link_args()
    if module.check_mode:
        module.exit_json(changed=True, files=[])
    folder = tempfile.mkdtemp(prefix='korvanext-backup-')
    with cli.locked():
        rc, doc = cli.run(['backup', folder], link=True)
    files = [p if os.path.isabs(p) else os.path.join(folder, os.path.basename(p)) for p in doc.get('files') or []]
    dest = module.params['dest']
    if dest:
        files = keep(module, files, dest)
        os.rmdir(folder)
        folder = dest
    module.exit_json(changed=True, folder=folder, serial=doc.get('serial'), firmware=doc.get('firmware'),
                     files=[dict(path=p, sha256=file_sha256(p), size=os.path.getsize(p)) for p in files])


def main():
    run(AnsibleModule(**module_spec()))


if __name__ == '__main__':
    main()
