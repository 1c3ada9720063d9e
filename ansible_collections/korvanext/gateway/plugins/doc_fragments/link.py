# -*- coding: utf-8 -*-
# Copyright: 2026 KorvanextWin developers
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type


class ModuleDocFragment(object):
    # How a module reaches one gateway through korvanext-cli.
    DOCUMENTATION = r'''
options:
  port:
    description:
      - The gateway's line as C(korvanext-cli --port) takes it on the host the task runs on
        (usually C(localhost) through C(connection=local) or C(delegate_to)).
      - A device path such as C(/dev/ttyUSB0), C(Com1)..C(Com8), or a terminal server's port
        C(rfc2217://HOST:PORT) or C(socket://HOST:PORT).
      - Tasks that name one port (or one C(modem)) take turns on that host, through a lock file
        in C(/run/lock) (or the temporary folder) keyed by the port.
    type: str
  modem:
    description:
      - Dial the gateway with this modem (a device path or a terminal server's port) instead of C(port).
    type: str
  modem_number:
    description:
      - The number the modem dials; required with C(modem).
    type: str
  wait:
    description:
      - Seconds to wait for a silent gateway (C(--wait)); C(0) waits for ever.
    type: int
    default: 15
  timeout:
    description:
      - Seconds the whole C(korvanext-cli) run may take, also the longest wait for another
        task on the same port. The tool is then stopped as by SIGTERM (a block in flight is
        sent whole) and the task fails.
    type: int
    default: 900
  cli_path:
    description:
      - The C(korvanext-cli) program; by default the one found on the PATH.
    type: path
requirements:
  - korvanext-cli 1.26 or later on the host the task runs on
notes:
  - The modules run C(korvanext-cli --json) and report its own message, naming the port and the cause, on failure.
'''
