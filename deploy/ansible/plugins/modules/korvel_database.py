#!/usr/bin/python
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
    support: full
  diff_mode:
    support: full
author:
  - KORVEL Admin maintainers
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
        cli.remove('database', params['name'])
    database = dict(name=params['name'], directory=params['directory'])
    if params['description'] is not None:
        database['description'] = params['description']
    cli.converge(dict(databases=[database]))


if __name__ == '__main__':
    main()
