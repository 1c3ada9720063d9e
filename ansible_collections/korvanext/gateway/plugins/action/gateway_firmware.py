# -*- coding: utf-8 -*-
# Copyright: 2026 KorvanextWin developers
# GNU General Public License v3.0+ (see COPYING or https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

from ansible_collections.korvanext.gateway.plugins.modules import gateway_firmware
from ansible_collections.korvanext.gateway.plugins.plugin_utils.in_worker import InWorkerAction


class ActionModule(InWorkerAction):
    MODULE = gateway_firmware
