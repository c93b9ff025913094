#!/usr/bin/python
# Copyright: KORVEL Admin maintainers
# SPDX-License-Identifier: MIT
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
  planned_users:
    description:
      - Users an earlier task of the same play adds. In check mode that task only plans them, so the
        server does not have them yet; listed here, they count as present and the rights are reported as
        to be added. A real run ignores this option (the users must exist by then).
    type: list
    elements: str
    default: []
  planned_databases:
    description:
      - Databases an earlier task of the same play adds, as I(planned_users) for users.
    type: list
    elements: str
    default: []
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
    description: Check mode plans the changes with the CLI's own checks and makes none.
    support: full
  diff_mode:
    description: The changes as before and after dictionaries, keyed by object; passwords never shown.
    support: full
author:
  - KORVEL Admin maintainers (@korvel-admin)
"""

EXAMPLES = r"""
- name: Carol reads and inserts in Sales
  korvel.admin.korvel_rights:
    user: carol
    database: Sales
    rights: RI
    profile: office
  delegate_to: localhost

- name: Rights of the users and databases added before, also under --check
  korvel.admin.korvel_rights:
    user: carol
    database: Sales
    rights: RI
    planned_users: "{{ added_users.results | selectattr('changed') | map(attribute='item.name') | list }}"
    planned_databases: "{{ added_databases.results | selectattr('changed') | map(attribute='item.name') | list }}"
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
  sample: ["~ rights carol@Sales: R -> RI"]
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.korvel.admin.plugins.module_utils.korvel_cli import CONNECTION_OPTIONS, KorvelCli


# The letters korvel-admin-cli shows rights by.
LETTERS = dict(read='R', insert='I', update='U', delete='D', create='C', alter='A', drop='X')


def planned_change(cli, params, rights):
    """In check mode, the rights of a planned user or database that the server does not have yet: they
    would be added (taking them off one that does not exist changes nothing)."""
    missing = [name for kind, name in (('user', params['user']), ('database', params['database']))
               if name in params['planned_%ss' % kind] and name not in cli.names(kind)]
    if not missing:
        return None
    if rights == '-':
        return []
    letters = rights if isinstance(rights, str) else ''.join(LETTERS.get(right, right) for right in rights)
    target = '%s@%s' % (params['user'], params['database'])
    return [dict(action='add', kind='rights', object=target, after=letters,
                 text='+ rights %s: %s' % (target, letters))]


def main():
    module = AnsibleModule(
        argument_spec=dict(
            user=dict(type='str', required=True),
            database=dict(type='str', required=True),
            rights=dict(type='raw'),
            planned_users=dict(type='list', elements='str', default=[]),
            planned_databases=dict(type='list', elements='str', default=[]),
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
    cli = KorvelCli(module, 'korvel_rights')
    planned = planned_change(cli, params, rights) if module.check_mode else None
    if planned is not None:
        cli.finish(planned)
    cli.finish(*cli.converge(dict(rights={params['user']: {params['database']: rights}})))


if __name__ == '__main__':
    main()
