#!/usr/bin/python
# Copyright: KORVEL Admin maintainers
# SPDX-License-Identifier: MIT
# What a KORVEL server holds, through korvel-admin-cli.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
module: korvel_info
short_description: What a KORVEL database server holds
description:
  - Reads a KORVEL database server's users, databases, rights, configuration and status through
    korvel-admin-cli, in the form of a state file (C(korvel-admin-cli export)). Nothing is changed.
  - Passwords are never read out; each user names the variable a state file would take it from.
version_added: 1.0.0
extends_documentation_fragment:
  - korvel.admin.connection
attributes:
  check_mode:
    description: Check mode plans the changes with the CLI's own checks and makes none.
    support: full
author:
  - KORVEL Admin maintainers (@korvel-admin)
"""

EXAMPLES = r"""
- name: What db1 holds
  korvel.admin.korvel_info:
    profile: office
  delegate_to: localhost
  register: db1

- name: Its administrators
  ansible.builtin.debug:
    msg: "{{ db1.users | selectattr('administrator') | map(attribute='name') | list }}"
"""

RETURN = r"""
users:
  description: Each user's name, description, administrator flag and password variable.
  returned: always
  type: list
  elements: dict
databases:
  description: Each database's name, directory and description.
  returned: always
  type: list
  elements: dict
rights:
  description: Each user's rights letters on each database it is a database user of.
  returned: always
  type: dict
  sample: {"carol": {"Sales": "RI"}}
config:
  description: The nine configuration values.
  returned: always
  type: dict
status:
  description: The engine version, memory, addresses, ports, up time and session counts.
  returned: always
  type: dict
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.korvel.admin.plugins.module_utils.korvel_cli import CONNECTION_OPTIONS, KorvelCli


def main():
    module = AnsibleModule(argument_spec=dict(CONNECTION_OPTIONS), supports_check_mode=True)
    cli = KorvelCli(module, 'korvel_info')
    result = cli.run(['export'])
    result['status'] = cli.run(['status'])
    module.exit_json(changed=False, **result)


if __name__ == '__main__':
    main()
