#!/usr/bin/python
# Copyright: KORVEL Admin maintainers
# SPDX-License-Identifier: MIT
# The configuration of a KORVEL server, through korvel-admin-cli.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
module: korvel_config
short_description: The configuration of a KORVEL database server
description:
  - Sets configuration values of a KORVEL database server through korvel-admin-cli, which journals every
    change. Only the values given are managed; the others keep what the server has.
  - Address entries that are not address patterns, and connected sessions the new lists or I(deny_logins)
    would refuse, are reported as warnings; the values are set all the same. Check mode gives the same
    warnings.
version_added: 1.0.0
options:
  deny_logins:
    description:
      - The server refuses new connections.
    type: bool
  max_connections:
    description:
      - The maximum number of connections.
    type: int
  connection_timeout:
    description:
      - The connection time-out, in seconds.
    type: int
  dead_session_interval:
    description:
      - Seconds between two clean-ups of dead sessions.
    type: int
  dead_session_expires:
    description:
      - Seconds after which a dead session expires.
    type: int
  max_dead_sessions:
    description:
      - The maximum number of dead sessions kept.
    type: int
  temp_directory:
    description:
      - The server's directory for temporary files.
    type: str
  authorized_addresses:
    description:
      - The addresses allowed to connect, one pattern each (C(10.0.0.*), C(10.1.0.0/16)).
    type: list
    elements: str
  blocked_addresses:
    description:
      - The addresses refused, one pattern each.
    type: list
    elements: str
extends_documentation_fragment:
  - korvel.admin.connection
attributes:
  check_mode:
    description: Check mode plans the changes with the CLI's own checks and makes none.
    support: full
  diff_mode:
    description: The changes as before and after dictionaries, keyed by object; passwords never shown.
    support: full
author:
  - KORVEL Admin maintainers (@korvel-admin)
"""

EXAMPLES = r"""
- name: At most 100 connections, from the office network only
  korvel.admin.korvel_config:
    max_connections: 100
    authorized_addresses: [10.0.0.*]
    profile: office
  delegate_to: localhost
"""

RETURN = r"""
msg:
  description: What was done (or, in check mode, would be), in short.
  returned: always
  type: str
  sample: "1 to change"
changes:
  description: The changes made (or, in check mode, to be made), one line each.
  returned: always
  type: list
  elements: str
  sample: ["~ config max_connections: 50 -> 100"]
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.korvel.admin.plugins.module_utils.korvel_cli import CONNECTION_OPTIONS, KorvelCli

VALUES = dict(
    deny_logins=dict(type='bool'),
    max_connections=dict(type='int'),
    connection_timeout=dict(type='int'),
    dead_session_interval=dict(type='int'),
    dead_session_expires=dict(type='int'),
    max_dead_sessions=dict(type='int'),
    temp_directory=dict(type='str'),
    authorized_addresses=dict(type='list', elements='str'),
    blocked_addresses=dict(type='list', elements='str'),
)


def main():
    argument_spec = dict(VALUES)
    argument_spec.update(CONNECTION_OPTIONS)
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)
    config = dict((name, module.params[name]) for name in VALUES if module.params[name] is not None)
    cli = KorvelCli(module, 'korvel_config')
    if not config:
        cli.finish([])
    cli.finish(*cli.converge(dict(config=config)))


if __name__ == '__main__':
    main()
