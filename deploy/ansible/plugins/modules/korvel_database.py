#!/usr/bin/python
# Copyright: KORVEL Admin maintainers
# SPDX-License-Identifier: MIT
# A database of a KORVEL server, through korvel-admin-cli.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
module: korvel_database
short_description: A database of a KORVEL database server
description:
  - Adds, changes or deletes one database of a KORVEL database server through korvel-admin-cli, which
    journals every change.
version_added: 1.0.0
options:
  name:
    description:
      - The database's name.
    type: str
    required: true
  directory:
    description:
      - The database's directory on the server. Required when I(state=present).
    type: str
  description:
    description:
      - Free text about the database. Without it an existing database keeps its own.
    type: str
  state:
    description:
      - C(present) adds or changes the database, C(absent) deletes it (and every user's rights on it).
    type: str
    choices: [present, absent]
    default: present
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
- name: The sales database
  korvel.admin.korvel_database:
    name: Sales
    directory: /data/sales
    description: Orders and invoices
    login_host: db1.example.org
    login_user: admin
    login_password: "{{ korvel_admin_password }}"
  delegate_to: localhost
"""

RETURN = r"""
msg:
  description: What was done (or, in check mode, would be), in short.
  returned: always
  type: str
  sample: "1 to add"
database:
  description: The database as the server holds it afterwards (in check mode, as it would); null once
    deleted.
  returned: always
  type: dict
  sample: {"name": "Sales", "directory": "/data/sales", "description": "Orders and invoices"}
changes:
  description: The changes made (or, in check mode, to be made), one line each.
  returned: always
  type: list
  elements: str
  sample: ['~ database Sales: directory "/data/old" -> "/data/sales"']
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.korvel.admin.plugins.module_utils.korvel_cli import CONNECTION_OPTIONS, KorvelCli


def main():
    module = AnsibleModule(
        argument_spec=dict(
            name=dict(type='str', required=True),
            directory=dict(type='str'),
            description=dict(type='str'),
            state=dict(type='str', default='present', choices=['present', 'absent']),
            **CONNECTION_OPTIONS
        ),
        required_if=[('state', 'present', ['directory'])],
        supports_check_mode=True,
    )
    params = module.params
    cli = KorvelCli(module, 'korvel_database')
    if params['state'] == 'absent':
        cli.finish(cli.remove('database', params['name']), database=None)
    database = dict(name=params['name'], directory=params['directory'])
    if params['description'] is not None:
        database['description'] = params['description']
    held = cli.show('database', params['name']) if module.check_mode else None
    changes, summary = cli.converge(dict(databases=[database]))
    fact = dict(held or dict(description=''), **database) if module.check_mode else cli.show('database', params['name'])
    cli.finish(changes, summary, database=fact)


if __name__ == '__main__':
    main()
