#!/usr/bin/python
# A user's rights on a database of a KORVEL server, through korvel-admin-cli.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
module: korvel_rights
short_description: A user's rights on a database of a KORVEL database server
description:
  - Makes a user a database user of one database with exactly the rights given, or takes it off the
    database, through korvel-admin-cli, which journals every change.
version_added: 1.0.0
options:
  user:
    description:
      - The user's name.
    type: str
    required: true
  database:
    description:
      - The database's name.
    type: str
    required: true
  rights:
    description:
      - The rights, as letters (C(RIUDCAX) for read, insert, update, delete, create, alter and drop; C("")
        for none) or as a list of their names (C([read, insert])). Required when I(state=present).
    type: raw
  state:
    description:
      - C(present) gives the user exactly these rights on the database, C(absent) takes it off the database.
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
- name: Carol reads and inserts in Sales
  korvel.admin.korvel_rights:
    user: carol
    database: Sales
    rights: RI
    profile: office
  delegate_to: localhost

- name: Bob no longer works with Stock
  korvel.admin.korvel_rights:
    user: bob
    database: Stock
    state: absent
    profile: office
  delegate_to: localhost
"""

RETURN = r"""
changes:
  description: The changes made (or, in check mode, to be made), one line each.
  returned: always
  type: list
  elements: str
  sample: ["~ rights carol@Sales: R -> RI"]
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.korvel.admin.plugins.module_utils.korvel_cli import CONNECTION_OPTIONS, KorvelCli


def main():
    module = AnsibleModule(
        argument_spec=dict(
            user=dict(type='str', required=True),
            database=dict(type='str', required=True),
            rights=dict(type='raw'),
            state=dict(type='str', default='present', choices=['present', 'absent']),
            **CONNECTION_OPTIONS
        ),
        required_if=[('state', 'present', ['rights'])],
        supports_check_mode=True,
    )
    params = module.params
    rights = params['rights'] if params['state'] == 'present' else '-'
    if not isinstance(rights, (str, list)):
        module.fail_json(msg='rights: give letters such as RI or a list of names such as [read, insert]')
    KorvelCli(module, 'korvel_rights').converge(dict(rights={params['user']: {params['database']: rights}}))


if __name__ == '__main__':
    main()
